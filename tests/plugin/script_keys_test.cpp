// The parameter keys and the data a host reads to place the filter: stored
// actions and hosts depend on every one of these values.

#include <algorithm>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "plugin/script_parameters.h"
#include "tools/host/plugin_library.h"

namespace quillon::plugin {
namespace {

TEST(ScriptKeysTest, KeysAreBigEndianCharactersAndEveryOrderHoldsAllSeventeen) {
    EXPECT_EQ(FILTER_KEY('v', 'i', 'g', '1'), 0x76696731u);
    for (const auto* order : {&kReadOrder, &kWriteOrder}) {
        for (const ScriptParameter& p : kScriptParameters) {
            EXPECT_EQ(std::count(order->begin(), order->end(), p.key), 1) << p.name;
        }
    }
    EXPECT_EQ(kReadOrder.front(), FILTER_KEY('v', 'i', 'g', '2'));
    EXPECT_EQ(kReadOrder.back(), FILTER_KEY('d', 'f', 'x', 'x'));
    EXPECT_EQ(kWriteOrder.front(), FILTER_KEY('d', 'f', 'x', 'x'));
    EXPECT_EQ(kWriteOrder.back(), FILTER_KEY('g', 'r', 'h', '1'));
}

class ExportedDataTest : public ::testing::Test {
  protected:
    void SetUp() override {
        handle_ = ::dlopen(QUILLON_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        list_ = static_cast<const FilterPropertyList*>(::dlsym(handle_, "PluginProperties"));
        terms_ = static_cast<const FilterTerminology*>(::dlsym(handle_, "PluginTerminology"));
        ASSERT_NE(list_, nullptr);
        ASSERT_NE(terms_, nullptr);
    }
    void TearDown() override {
        if (handle_ != nullptr) ::dlclose(handle_);
    }
    const FilterProperty* Find(FilterKey key) const {
        for (std::int32_t i = 0; i < list_->count; ++i) {
            if (list_->properties[i].key == key) return &list_->properties[i];
        }
        return nullptr;
    }
    std::string Bytes(FilterKey key) const {
        const FilterProperty* p = Find(key);
        return p ? std::string(static_cast<const char*>(p->data), p->length) : std::string();
    }

    void* handle_ = nullptr;
    const FilterPropertyList* list_ = nullptr;
    const FilterTerminology* terms_ = nullptr;
};

TEST_F(ExportedDataTest, PropertiesPlaceAnRgbFilterWithItsEntryPoint) {
    EXPECT_EQ(list_->resourceId, 16000);
    for (std::int32_t i = 0; i < list_->count; ++i) {
        EXPECT_EQ(list_->properties[i].vendor, FILTER_VENDOR);
        EXPECT_EQ(list_->properties[i].id, 0);
    }
    EXPECT_EQ(Bytes(FILTER_KEY('n', 'a', 'm', 'e')), "\x07Quillon");
    EXPECT_EQ(Bytes(FILTER_KEY('c', 'a', 't', 'g')), "\x07Velmora");
    EXPECT_EQ(Bytes(FILTER_KEY('m', 'o', 'd', 'e')), std::string("\x10\x00", 2));
    const FilterKey entryKey =
        sizeof(void*) == 8 ? FILTER_KEY('8', '6', '6', '4') : FILTER_KEY('w', 'x', '8', '6');
    EXPECT_EQ(Bytes(entryKey), std::string("PluginMain\0", 11));
    const auto* link =
        static_cast<const FilterTerminologyLink*>(Find(FILTER_KEY('h', 's', 't', 'm'))->data);
    EXPECT_EQ(link->terminologyId, 16000);
    EXPECT_EQ(link->eventClass, FILTER_KEY('s', 'd', 'k', '1'));
    EXPECT_STREQ(link->uniqueString, "DE0C4BBE-44FA-4c38-84B5-B897E416934A");
    const auto* cases =
        static_cast<const FilterCaseInfo*>(Find(FILTER_KEY('f', 'i', 'c', 'i'))->data);
    const std::uint8_t flags[FILTER_CASE_COUNT] = {0x06, 0x0e, 0x06, 0x06, 0x0e, 0x06, 0x0e};
    for (int i = 0; i < FILTER_CASE_COUNT; ++i) {
        EXPECT_EQ(cases[i].inputHandling, 4);
        EXPECT_EQ(cases[i].outputHandling, 4);
        EXPECT_EQ(cases[i].flags, flags[i]) << i;
    }
}

TEST_F(ExportedDataTest, EnableExpressionTakesEightAndSixteenBitRgbOnly) {
    const std::string expression = Bytes(FILTER_KEY('e', 'n', 'b', 'l')).c_str();
    EXPECT_EQ(host::EvaluateEnableExpression(expression, true, 8), true);
    EXPECT_EQ(host::EvaluateEnableExpression(expression, true, 16), true);
    EXPECT_EQ(host::EvaluateEnableExpression(expression, true, 32), false);
    EXPECT_EQ(host::EvaluateEnableExpression(expression, false, 8), false);
}

TEST_F(ExportedDataTest, TerminologyNamesTheSeventeenParametersInScriptOrder) {
    ASSERT_EQ(terms_->suiteCount, 1);
    const FilterTermSuite& suite = terms_->suites[0];
    EXPECT_STREQ(suite.vendor, "Velmora");
    ASSERT_EQ(suite.eventCount, 1);
    const FilterTermEvent& event = suite.events[0];
    EXPECT_EQ(event.directType, FILTER_TYPE_IMAGE_REFERENCE);
    EXPECT_EQ(event.directFlags, 0xB000);
    ASSERT_EQ(event.parameterCount, static_cast<std::int32_t>(kScriptParameterCount));
    for (std::size_t i = 0; i < kScriptParameterCount; ++i) {
        EXPECT_EQ(event.parameters[i].key, kScriptParameters[i].key);
        EXPECT_EQ(event.parameters[i].name, kScriptParameters[i].name);
        EXPECT_EQ(event.parameters[i].type, FILTER_TYPE_INTEGER);
    }
}

}  // namespace
}  // namespace quillon::plugin
