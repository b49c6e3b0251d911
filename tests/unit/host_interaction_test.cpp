// The host interaction: pass announcements, the status bar, the cancel flag,
// and the companion library that supplies the product name and the texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "vrndll/SA_interractions.h"

namespace {

struct Captured {
    std::vector<std::string> diags;
    std::vector<std::string> bar_texts;
    std::vector<int> percents;
};

void VRN_CDECL CaptureDiag(const char *text, uintptr_t user_data) {
    reinterpret_cast<Captured *>(user_data)->diags.push_back(text);
}

void VRN_CDECL CaptureBar(const char *text, int percent, uintptr_t user_data) {
    reinterpret_cast<Captured *>(user_data)->bar_texts.push_back(text);
    reinterpret_cast<Captured *>(user_data)->percents.push_back(percent);
}

SA_interractions HostReportingTo(Captured &captured) {
    SA_interractions host;
    host.write_diag = CaptureDiag;
    host.status_bar = CaptureBar;
    host.user_data = reinterpret_cast<uintptr_t>(&captured);
    host.pass_count = 3;
    return host;
}

// A library built beside the test program.
std::string BesideProgram(const std::string &base_name) {
    const std::string program = platform::modulePath("");
    return program.substr(0, platform::lastSeparator(program) + 1) +
           platform::sharedLibraryFileName(base_name);
}

std::string Narrowed(const std::u16string &text) {
    std::vector<uint16_t> units(text.begin(), text.end());
    return platform::utf16ToAnsi(units.data(), units.size());
}

// Writes `text` as little-endian UTF-16 into a zeroed progress buffer.
void PutUtf16(char (&buffer)[kProgressTextSize], const std::u16string &text) {
    std::memset(buffer, 0, sizeof buffer);
    for (size_t i = 0; i < text.size(); ++i) {
        buffer[2 * i] = static_cast<char>(text[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
}

// Every test starts and ends with the built-in texts.
class HostInteraction : public ::testing::Test {
protected:
    void SetUp() override { SA_interractions::SetDefaultPassTexts(); }
    void TearDown() override { SA_interractions::SetDefaultPassTexts(); }
};

} // namespace

// ---------------------------------------------------------------- passes and status

TEST_F(HostInteraction, FirstPassIsAnnouncedAsLabelNumberTextAndThreeDots) {
    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    host.PutPass(ProgressTextOf(kPass1Text));
    ASSERT_EQ(captured.diags.size(), 1u);
    EXPECT_EQ(captured.diags[0], "Pass 1: analyzing database...");
}

TEST_F(HostInteraction, PassNumberingStartsAgainAfterThePassCount) {
    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    for (int i = 0; i < 4; ++i) host.PutPass("x");
    EXPECT_EQ(captured.diags,
              (std::vector<std::string>{"Pass 1: x...", "Pass 2: x...", "Pass 3: x...", "Pass 1: x..."}));
}

TEST_F(HostInteraction, LongPassTextIsCutToTheAnnouncementBuffer) {
    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    host.PutPass(std::string(1000, 'a').c_str());
    ASSERT_EQ(captured.diags.size(), 1u);
    EXPECT_EQ(captured.diags[0].size(), 255u);
    EXPECT_EQ(captured.diags[0].compare(0, 8, "Pass 1: "), 0);
}

TEST_F(HostInteraction, StatusBarGetsAnEmptyTextThePercentAndTheUserData) {
    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    host.SBar(42);
    host.SBar(100);
    EXPECT_EQ(captured.percents, (std::vector<int>{42, 100}));
    EXPECT_EQ(captured.bar_texts, (std::vector<std::string>{"", ""}));
}

TEST_F(HostInteraction, WithoutCallbacksTextsAndPercentsAreDropped) {
    SA_interractions host;
    host.pass_count = 3;
    host.WDiag("nobody listens");
    host.SBar(50);
    host.PutPass("still counted");
    EXPECT_EQ(host.pass_no, 1);
}

// ---------------------------------------------------------------- cancel flag

TEST(CancelFlag, OnlyTheByteValueOneStopsTheRecovery) {
    SA_interractions host;
    EXPECT_TRUE(host.MayContinue()) << "no flag handed over";

    unsigned char byte = 0;
    host.break_flag = reinterpret_cast<bool *>(&byte);
    EXPECT_TRUE(host.MayContinue());
    byte = 1;
    EXPECT_FALSE(host.MayContinue());
    byte = 2;
    EXPECT_TRUE(host.MayContinue());
}

// ---------------------------------------------------------------- mf_init

TEST_F(HostInteraction, MissingCallbackFailsAndKeepsTheEarlierCallbacks) {
    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    EXPECT_FALSE(host.mf_init(nullptr, CaptureBar, 7, 3, kRecoveryProduct));
    EXPECT_FALSE(host.mf_init(CaptureDiag, nullptr, 7, 3, kRecoveryProduct));
    EXPECT_EQ(host.user_data, reinterpret_cast<uintptr_t>(&captured));
    EXPECT_EQ(host.write_diag, &CaptureDiag);
    EXPECT_EQ(host.status_bar, &CaptureBar);
}

TEST_F(HostInteraction, InitLoadsTheCompanionAndRestartsPassNumbering) {
    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    host.PutPass("before");
    ASSERT_TRUE(host.mf_init(CaptureDiag, CaptureBar, reinterpret_cast<uintptr_t>(&captured), 3,
                             kRecoveryProduct));
    EXPECT_EQ(host.pass_no, 0);
    ASSERT_NE(g_product_name, nullptr);
    ASSERT_NE(g_product_url, nullptr);
    EXPECT_STREQ(g_product_name, "Varnoth 1.0");
    EXPECT_STREQ(g_product_url, kDefaultProductUrl);
    host.PutPass(ProgressTextOf(kPass2Text));
    EXPECT_EQ(captured.diags.back(), "Pass 1: recovering database schema...");
}

// ---------------------------------------------------------------- companion library

TEST_F(HostInteraction, CompanionIsTakenFromBesideTheProgramWhenTheLibraryIsNotLoaded) {
    EXPECT_EQ(SA_interractions::CompanionPath(), BesideProgram("tlvcmn"));
}

TEST_F(HostInteraction, CompanionLeavingTheNameEmptyGivesTheDefaultProductInformation) {
    SA_interractions::LoadTlvcmnFrom(BesideProgram("tlvcmn_empty_name"), kRecoveryProduct);
    EXPECT_STREQ(g_product_name, kDefaultProductName);
    EXPECT_STREQ(g_product_url, kDefaultProductUrl);
    EXPECT_STREQ(ProgressTextOf(kDoneText), "done");
}

TEST_F(HostInteraction, CompanionWithoutGetStringFailsAfterTheProductInformation) {
    char *earlier_name = nullptr;
    SA_interractions::LoadTlvcmnFrom(BesideProgram("tlvcmn"), kRecoveryProduct);
    earlier_name = g_product_name;
    EXPECT_THROW(SA_interractions::LoadTlvcmnFrom(BesideProgram("tlvcmn_no_getstring"),
                                                  kRecoveryProduct),
                 int);
    EXPECT_STREQ(g_product_name, "Fake Product 2.0");
    EXPECT_STREQ(g_product_url, "http://fake.example");
    EXPECT_STREQ(earlier_name, "Varnoth 1.0") << "buffers of an earlier load stay valid";
}

TEST_F(HostInteraction, CompanionWithoutInitializeOrMissingAltogetherFails) {
    EXPECT_THROW(SA_interractions::LoadTlvcmnFrom(BesideProgram("tlvcmn_no_initialize"),
                                                  kRecoveryProduct),
                 int);
    EXPECT_THROW(SA_interractions::LoadTlvcmnFrom(BesideProgram("no_such_companion"),
                                                  kRecoveryProduct),
                 int);
}

TEST_F(HostInteraction, Utf16TextsOfTheCompanionReachTheHostNarrowed) {
    SA_interractions::LoadTlvcmnFrom(BesideProgram("tlvcmn_utf16"), kRecoveryProduct);
    EXPECT_STREQ(ProgressTextOf(kDoneText), "fertig");
    EXPECT_STREQ(ProgressTextOf(kPassLabel), "Lauf");
    EXPECT_EQ(std::string(ProgressTextOf(kPass2Text)), Narrowed(u"Schema zur\u00fcck"));
    EXPECT_EQ(std::string(ProgressTextOf(kPass3Text)), Narrowed(u"Zeilen zur\u00fcck"))
        << "text 5 is narrowed with the size the companion reported";

    Captured captured;
    SA_interractions host = HostReportingTo(captured);
    host.PutPass(ProgressTextOf(kPass1Text));
    EXPECT_EQ(captured.diags.back(), "Lauf 1: analysiere Datenbank...");
}

// ---------------------------------------------------------------- ToNarrow

TEST(ToNarrow, AnsiTextsStayAsTheyAre) {
    for (const char *text : {"done", "Pass", "analyzing database", "recovering table rows", "ab",
                             "a"}) {
        char buffer[kProgressTextSize] = {};
        std::strcpy(buffer, text);
        SA_interractions::ToNarrow(buffer, kProgressTextSize - 1);
        EXPECT_STREQ(buffer, text);
    }
}

TEST(ToNarrow, AnsiTextOverALongerEarlierTextStaysAsItIs) {
    char buffer[kProgressTextSize] = {};
    std::strcpy(buffer, "recovering database schema");
    std::memcpy(buffer, "fait", 5);
    SA_interractions::ToNarrow(buffer, kProgressTextSize - 1);
    EXPECT_STREQ(buffer, "fait");
}

TEST(ToNarrow, Utf16TextIsConvertedAndTerminated) {
    char buffer[kProgressTextSize];
    PutUtf16(buffer, u"recovering table rows");
    SA_interractions::ToNarrow(buffer, kProgressTextSize - 1);
    EXPECT_STREQ(buffer, "recovering table rows");

    PutUtf16(buffer, u"gel\u00f6scht");
    SA_interractions::ToNarrow(buffer, 16);
    EXPECT_EQ(std::string(buffer), Narrowed(u"gel\u00f6scht"));
}

TEST(ToNarrow, ASizeBeyondTheBufferReadsNoFurther) {
    // A companion reporting an absurd size must not make the conversion
    // read or write past the 256-byte buffer (the sanitizers watch this).
    std::vector<char> exact(kProgressTextSize);
    char(&buffer)[kProgressTextSize] = *reinterpret_cast<char(*)[kProgressTextSize]>(exact.data());
    std::u16string full(kProgressTextSize / 2, u'\u00e9');
    PutUtf16(buffer, full);
    SA_interractions::ToNarrow(buffer, 1 << 20);
    EXPECT_LT(std::strlen(buffer), static_cast<size_t>(kProgressTextSize));
}
