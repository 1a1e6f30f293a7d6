// The progress dialog on Qt's offscreen platform.
#include "updater/progress_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

namespace {

using namespace Quorvane;

TEST(ProgressDialog, ShowsItsTextAndCyclesColoursOncePerSecondAcrossDialogs) {
  Updater::ProgressDialog first(QStringLiteral("Updating Kestrane..."));
  first.show();
  EXPECT_EQ(first.windowTitle(), "Tollwick");
  EXPECT_EQ(first.Text(), "Updating Kestrane...");
  EXPECT_EQ(first.BarColour(), (Ui::Rgb{255, 0, 0}));
  EXPECT_FALSE(first.windowFlags() & Qt::WindowCloseButtonHint);
  QTest::qWait(1100);
  EXPECT_EQ(first.BarColour(), (Ui::Rgb{181, 230, 29}));
  first.close();

  // A second dialog of the same process goes on where the first left off.
  Updater::ProgressDialog second(QStringLiteral("Updating Orlimar..."));
  second.show();
  EXPECT_EQ(second.BarColour(), (Ui::Rgb{255, 0, 0}));
  QTest::qWait(1100);
  EXPECT_EQ(second.BarColour(), (Ui::Rgb{255, 201, 14}));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
