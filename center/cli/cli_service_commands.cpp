// `messages`, `feedback` and `check-updates`: the center's stores and the service, as the
// Messages and Feedback dialogs and Check for Updates use them.
#include <atomic>

#include "center/cli/cli_commands.h"
#include "center/messages/local_stores.h"
#include "center/messages/message_lists.h"
#include "center/messages/message_workers.h"
#include "center/self_update/update_coordinator.h"

namespace Quorvane::Cli {
namespace {

std::string StoreFolder(CliSession& session) {
  return session.Folders().localAppData + "/Quorvane/Kestrane/";
}

// What the update check shows, as lines.
class PrintedUpdateView final : public Center::UpdateView {
 public:
  explicit PrintedUpdateView(const CommandIo& io) : io_(io) {}
  void SetStatusText(const std::string& text) override {
    if (!text.empty()) io_.out << text << "\n" << std::flush;
  }
  void ShowProgress(bool) override {}
  bool AskToUpdate() override { return false; }  // installing is the center's (or Tollwick's)
  void CloseForUpdate() override {}
  void OffersChanged() override {}
  void TellUser(const std::string& text) override { io_.err << text << "\n"; }

 private:
  const CommandIo& io_;
};

std::string VersionText(const Platform::FileVersion& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.build) + "." + std::to_string(version.revision);
}

}  // namespace

int MessagesCommand(CliSession& session, const CommandIo& io) {
  Center::MessageStore store;
  store.path = StoreFolder(session) + Center::kMessagesFileName;
  Center::LoadMessageStore(store, session.EventLog());
  // A running center keeps the list up to date and saves it itself.
  if (!session.CenterRunning()) {
    Center::MessageFetchPass(store, session.Service(), session.EventLog());
  }
  const auto lines = Center::MessageLines(store);
  for (std::size_t index = 0; index < lines.size(); ++index) {
    io.out << lines[index].lastUpdated << "  " << lines[index].title << "\n"
           << Center::MessageBodyAt(store, index).value_or("") << "\n\n";
  }
  if (lines.empty()) io.out << "No messages.\n";
  return kSuccess;
}

int FeedbackListCommand(CliSession& session, const CommandIo& io) {
  Center::FeedbackStore store;
  const std::string folder = StoreFolder(session);
  store.path = folder + Center::kFeedbackFileName;
  Center::LoadFeedbackStore(store, session.EventLog());
  if (!session.CenterRunning()) {
    // The replies are asked for, and the list saved, with this user's identifier, as the center
    // and 'feedback send' do.
    store.userId = Center::GetOrCreateUserId(folder, store.recordedUserId, session.EventLog());
    const std::atomic<bool> quit{false};
    Center::FeedbackFetchPass(store, session.Service(), quit, session.EventLog());
  }
  const auto lines = Center::FeedbackLines(store);
  for (std::size_t index = 0; index < lines.size(); ++index) {
    const auto details = Center::FeedbackAt(store, index);
    io.out << lines[index].created << "  " << lines[index].title
           << "  (reply: " << lines[index].hasResponse << ")\n"
           << details->body << "\n";
    if (!details->reply.empty()) io.out << "Reply: " << details->reply << "\n";
    io.out << "\n";
  }
  if (lines.empty()) io.out << "No feedback sent yet.\n";
  return kSuccess;
}

int FeedbackSendCommand(CliSession& session, const CommandIo& io, const std::string& title,
                        const std::string& text) {
  if (const auto problem = Center::NewFeedbackProblem(title, text)) {
    io.err << *problem << "\n";
    return kUsage;
  }
  if (RefusedWhileCenterRuns(session, io.err)) return kCenterRunning;
  Center::FeedbackStore store;
  const std::string folder = StoreFolder(session);
  store.path = folder + Center::kFeedbackFileName;
  Center::LoadFeedbackStore(store, session.EventLog());
  store.userId = Center::GetOrCreateUserId(folder, store.recordedUserId, session.EventLog());
  if (!Center::RegisterNewFeedback(store, session.Service(), session.EventLog(),
                                   Center::MakeFeedback(title, text, Center::LocalNow()))) {
    io.err << Center::kRegistrationFailed << "\n";
    return kNoService;
  }
  io.out << "Sent. Replies show in 'kestrane-cli feedback list' and the center's feedback list.\n";
  return kSuccess;
}

int CheckUpdatesCommand(CliSession& session, const CommandIo& io) {
  const std::atomic<bool> quit{false};
  Center::UpdateCoordinator updates({session.Folders(), session.Environment(), session.EventLog(),
                                     session.Clock(), [&session] { return session.Beta(); },
                                     &quit});
  if (access(updates.UpdaterProgram().c_str(), X_OK) != 0) {
    io.err << "The updater is not installed beside the center (" << updates.UpdaterProgram()
           << ").\n";
    return kFailure;
  }
  PrintedUpdateView view(io);
  updates.CheckForUpdate(view);
  const auto center = updates.CenterUpdate();
  const auto updater = updates.UpdaterUpdate();
  if (center)
    io.out << "Kestrane " << VersionText(*center)
           << " is ready to install (Update to v... in the center).\n";
  if (updater)
    io.out << "Tollwick " << VersionText(*updater)
           << " is ready to install (Update Updater in the center).\n";
  if (!center && !updater) io.out << "No update is offered.\n";
  return kSuccess;
}

}  // namespace Quorvane::Cli
