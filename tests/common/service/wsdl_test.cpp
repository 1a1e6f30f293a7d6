// The published contract (docs/IQuorvane.wsdl) describes exactly what the client sends and
// accepts: the same operations, parameters, types, actions and default endpoint.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "common/platform/process.h"
#include "common/service/contract.h"

namespace {

using namespace Quorvane::Service;

std::string XsdType(FieldType type) {
  switch (type) {
    case FieldType::String: return "xs:string";
    case FieldType::Boolean: return "xs:boolean";
    case FieldType::StringArray: return "arr:ArrayOfstring";
  }
  return "?";
}

std::string XsdType(ResultKind kind) {
  switch (kind) {
    case ResultKind::String: return "xs:string";
    case ResultKind::StringArray: return "arr:ArrayOfstring";
    case ResultKind::Long: return "xs:long";
    case ResultKind::None: return "";
  }
  return "?";
}

TEST(Wsdl, IsWellFormedForXmllint) {
  std::error_code error;
  auto check = Quorvane::Platform::Process::Start({"xmllint", {"--noout", QUORVANE_WSDL}, "", ""}, error);
  ASSERT_TRUE(check) << error.message();
  EXPECT_EQ(check->Wait(), 0);
}

TEST(Wsdl, DescribesEveryOperationOfTheContractTable) {
  pugi::xml_document wsdl;
  ASSERT_TRUE(wsdl.load_file(QUORVANE_WSDL));
  const auto definitions = wsdl.child("wsdl:definitions");
  EXPECT_EQ(std::string_view(definitions.attribute("targetNamespace").value()), kContractNamespace);
  EXPECT_EQ(std::string_view(definitions.select_node("//soap:address").node().attribute("location").value()),
            kDefaultEndpoint);

  const auto portType = definitions.child("wsdl:portType");
  std::size_t described = 0;
  for (auto operation : portType.children("wsdl:operation")) {
    ++described;
    const std::string name = operation.attribute("name").value();
    const auto found = FindOperation(name);
    ASSERT_TRUE(found) << name;
    const OperationSpec& spec = Describe(*found);

    const auto request = definitions.select_node(
        ("//xs:element[@name='" + name + "']/xs:complexType/xs:sequence").c_str()).node();
    std::size_t index = 0;
    for (auto parameter : request.children("xs:element")) {
      ASSERT_LT(index, spec.Parameters().size()) << name;
      EXPECT_EQ(std::string_view(parameter.attribute("name").value()), spec.Parameters()[index].name);
      EXPECT_EQ(parameter.attribute("type").value(), XsdType(spec.Parameters()[index].type));
      ++index;
    }
    EXPECT_EQ(index, spec.Parameters().size()) << name;

    const auto result = definitions.select_node(
        ("//xs:element[@name='" + name + "Response']//xs:element").c_str()).node();
    EXPECT_EQ(result.attribute("type").value(), XsdType(spec.result)) << name;

    const auto action = definitions.select_node(
        ("//wsdl:binding/wsdl:operation[@name='" + name + "']/soap:operation").c_str()).node();
    EXPECT_EQ(action.attribute("soapAction").value(), RequestAction(*found));
  }
  EXPECT_EQ(described, AllOperations().size());
}

}  // namespace
