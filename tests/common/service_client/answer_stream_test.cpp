// Answers read while they arrive, against the document parser reading them whole: the same
// items, whatever the pieces they arrive in, and refusals for what the streaming reader does not
// take.
#include <gtest/gtest.h>

#include "common/service_client/base64.h"
#include "common/service_client/soap_answer_stream.h"
#include "common/service_client/soap_envelope.h"
#include "tests/support/streamed_answer.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Service;

Testing::StreamedAnswer Stream(const std::string& answer, std::size_t pieceSize) {
  return Testing::StreamAnswer(Operation::GetParallelFirmware, answer, pieceSize);
}

const std::string kHead =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
    "<GetParallelFirmwareResponse xmlns=\"http://schemas.quorvane.example/2016/IQuorvane\">";
const std::string kTail = "</GetParallelFirmwareResponse></s:Body></s:Envelope>";

std::string Answer(const std::string& result) { return kHead + result + kTail; }

std::string Array(const std::string& items) {
  return Answer(
      "<GetParallelFirmwareResult "
      "xmlns:a=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\" "
      "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">" +
      items + "</GetParallelFirmwareResult>");
}

// A file's Base64 as a service writes it, each line's CR as a reference, long enough to pass
// through the reader's text buffer several times.
std::string ServiceBase64(std::size_t bytes) {
  std::string file(bytes, '\0');
  for (std::size_t at = 0; at < bytes; ++at) file[at] = static_cast<char>(at * 2654435761u >> 13);
  std::string text;
  for (const char character : Base64Encode(file)) {
    text += character == '\r' ? std::string("&#xD;") : std::string(1, character);
  }
  return text;
}

TEST(StreamedAnswers, ReadAsTheDocumentParserReadsThemInPiecesOfAnySize) {
  const std::string answers[] = {
      Array("<a:string>" + ServiceBase64(150000) + "</a:string><a:string>" +
            std::string(70000, 'z') + "\r\n&amp;" + std::string(33, 'q') + "&#xD;&#xD;\r&#xD;" +
            std::string(17, 'w') + "</a:string>"),
      Array("<a:string>" + std::string(20, 'v') + "&#xD;\r" + std::string(40, 'u') + "&#xD;" +
            "</a:string>"),
      Array("<a:string>QUJD&#xD;\nREVG&#xD;\n</a:string><a:string "
            "i:nil=\"true\">ignored</a:string><a:string/>"),
      Array("<a:string>&lt;doc "
            "a=&quot;1&quot;&gt;&#x1F3C1;&#233;</a:string><a:string>raw\r\nline\rend</a:string>"),
      Array("<a:string>  </a:string><a:string> x <!-- note --> y "
            "</a:string><a:string><![CDATA[<]]]]>&amp;]]></a:string>"),
      Array("<a:string>a<a:string>nested text is not the item's</a:string>b</a:string>"),
      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n" +
          Array("<a:string>after a byte order mark</a:string>") + "\n<!-- end -->\n",
      Answer("<Other/><GetParallelFirmwareResult i:nil=\"1\" "
             "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">"
             "<a:string "
             "xmlns:a=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\">x</a:string>"
             "</GetParallelFirmwareResult><GetParallelFirmwareResult>later results are not "
             "read</GetParallelFirmwareResult>"),
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:arr=\"http://schemas.microsoft.com/2003/10/Serialization/Arrays\"><soap:Header><x/></"
      "soap:Header><soap:Body>"
      "<q:GetParallelFirmwareResponse "
      "xmlns:q=\"http://schemas.quorvane.example/2016/IQuorvane\"><q:GetParallelFirmwareResult>"
      "<arr:string>7</arr:string></q:GetParallelFirmwareResult></q:GetParallelFirmwareResponse></"
      "soap:Body></soap:Envelope>",
      Array("<b:string xmlns:b=\"urn:other\">an item of another namespace</b:string>"),
      "<s:Envelope "
      "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body><s:Fault><faultcode>s:Server</"
      "faultcode>"
      "</s:Fault></s:Body></s:Envelope>",
      Answer(""),
  };
  std::string statuses;  // what the document parser made of each
  for (const auto& answer : answers) {
    std::string body = answer;
    ServiceResult parsed;
    const ResponseStatus expected =
        ParseResponseEnvelope(Operation::GetParallelFirmware, body, parsed);
    statuses += "OFM"[static_cast<int>(expected)];
    for (const std::size_t pieceSize :
         {answer.size(), std::size_t{1}, std::size_t{7}, std::size_t{4093}}) {
      const Testing::StreamedAnswer streamed = Stream(answer, pieceSize);
      EXPECT_EQ(streamed.status, expected) << answer << " in pieces of " << pieceSize;
      EXPECT_TRUE(streamed.inOrder) << answer << " in pieces of " << pieceSize;
      if (expected == ResponseStatus::Ok) {
        EXPECT_EQ(streamed.strings, parsed.strings) << answer << " in pieces of " << pieceSize;
      }
    }
  }
  EXPECT_EQ(statuses, "OOOOOOOOOMFO");
}

TEST(StreamedAnswers, WhatTheStreamingReaderDoesNotTakeIsMalformed) {
  const std::string item = "<a:string>x</a:string>";
  const std::string refused[] = {
      "<!DOCTYPE s:Envelope [<!ENTITY big \"lots\">]>" + Array(item),
      Array(item) + "<second/>",
      Array(item) + "trailing text",
      Array("<a:string>&unknown;</a:string>"),
      Array("<a:string>&#0;</a:string>"),
      Array(std::string("<a:string>a\0b</a:string>", 24)),
      Array("<a:string attribute=\"1\" attribute=\"2\">x</a:string>"),
      Array("<a:string>x</a:strin>"),
      "<?\?>" + Array(item),
      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
      "xmlns:=\"urn:x\"><s:Body/></s:Envelope>",
      Array(item).substr(0, Array(item).size() - 3),
      [] {  // nested deeper than any answer needs
        std::string deep;
        for (int level = 0; level < 70; ++level) deep = "<d>" + deep + "</d>";
        return Array("<a:string>" + deep + "</a:string>");
      }(),
  };
  for (const auto& answer : refused) {
    EXPECT_EQ(Stream(answer, answer.size()).status, ResponseStatus::Malformed) << answer;
    EXPECT_EQ(Stream(answer, 1).status, ResponseStatus::Malformed) << answer;
  }
  // Text beside the items counts against the answer's limit (each element as 64 bytes); the
  // items' own text does not.
  std::string besides = Array("<a:string>" + std::string(500, 'x') + "</a:string>");
  besides.insert(kHead.size(), "<Other>" + std::string(300, 'y') + "</Other>");
  EXPECT_EQ(Testing::StreamAnswer(Operation::GetParallelFirmware, besides, 7, 800).status,
            ResponseStatus::Ok);
  EXPECT_EQ(Testing::StreamAnswer(Operation::GetParallelFirmware, besides, 7, 600).status,
            ResponseStatus::Malformed);
}

}  // namespace
