// The companion library as the recovery library and its logger use it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "tests/support/loaded_vrndll.h"
#include "tests/support/temp_folder.h"

namespace {

typedef int(VRN_CDECL *InitializeProc)(int);
typedef int(VRN_CDECL *GetNameProc)(char *);
typedef int(VRN_CDECL *GetStringProc)(int, int, char *, int *);
typedef int(VRN_CDECL *ReadProfileStringProc)(const char *, const char *, const char *, char *,
                                              int, int);

template <typename Proc> Proc Export(const platform::DynamicLibrary &library, const char *name) {
    void *address = library.symbol(name);
    Proc proc = nullptr;
    std::memcpy(&proc, &address, sizeof(proc));
    return proc;
}

// tlvcmn.ini beside the loaded companion library.
std::string SettingsFile() {
    const std::string companion = platform::modulePath(platform::sharedLibraryFileName("tlvcmn"));
    return companion.substr(0, platform::lastSeparator(companion) + 1) + "tlvcmn.ini";
}

class Companion : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(library_.isLoaded());
        initialize_ = Export<InitializeProc>(library_, "Initialize");
        get_full_name_ = Export<GetNameProc>(library_, "GetFullName");
        get_home_url_ = Export<GetNameProc>(library_, "GetHomeURL");
        get_string_ = Export<GetStringProc>(library_, "GetString");
        read_profile_ = Export<ReadProfileStringProc>(library_, "ReadProfileString");
        ASSERT_TRUE(initialize_ && get_full_name_ && get_home_url_ && get_string_ && read_profile_);
        initialize_(256 + 20);
    }

    std::string Text(int text_no, int room = 255) {
        char buffer[256];
        std::memset(buffer, 'x', sizeof buffer);
        size_ = room;
        get_string_(20, text_no, buffer, &size_);
        return std::string(buffer, std::strlen(buffer));
    }

    std::string Setting(const char *section, const char *key, const char *def, int size = 256) {
        char out[256];
        std::memset(out, 'x', sizeof out);
        read_profile_(section, key, def, out, size, 0);
        return out;
    }

    platform::DynamicLibrary library_ =
        platform::DynamicLibrary::load(testsupport::LibraryBesideProgram("tlvcmn"));
    InitializeProc initialize_ = nullptr;
    GetNameProc get_full_name_ = nullptr, get_home_url_ = nullptr;
    GetStringProc get_string_ = nullptr;
    ReadProfileStringProc read_profile_ = nullptr;
    int size_ = 0;
};

} // namespace

TEST_F(Companion, ProductNameAndHomePage) {
    char name[100] = {}, url[100] = {};
    get_full_name_(name);
    get_home_url_(url);
    EXPECT_STREQ(name, "Varnoth 1.0");
    EXPECT_STREQ(url, "http://www.varnoth.com");
}

TEST_F(Companion, FiveProgressTextsWithTheirLengths) {
    EXPECT_EQ(Text(1), "done");
    EXPECT_EQ(size_, 4);
    EXPECT_EQ(Text(2), "Pass");
    EXPECT_EQ(Text(3), "analyzing database");
    EXPECT_EQ(Text(4), "recovering database schema");
    EXPECT_EQ(Text(5), "recovering table rows");
    EXPECT_EQ(size_, 21);
    EXPECT_EQ(Text(0), "");
    EXPECT_EQ(Text(6), "");
}

TEST_F(Companion, TextIsCutToTheRoomGiven) {
    EXPECT_EQ(Text(4, 10), "recovering");
    EXPECT_EQ(size_, 10);
}

TEST_F(Companion, SettingsComeFromTheFileBesideTheCompanion) {
    const std::string ini = SettingsFile();
    if (platform::exists(ini)) GTEST_SKIP() << "a settings file is in place: " << ini;
    ASSERT_TRUE(testsupport::WriteFileText(
        ini, "[vrndll]\nTestSetting=from vrndll\n[other]\nTestSetting=from other\n"));
    EXPECT_EQ(Setting("", "TestSetting", "none"), "from vrndll") << "empty section: vrndll";
    EXPECT_EQ(Setting("other", "testsetting", "none"), "from other");
    EXPECT_EQ(Setting("other", "Missing", "none"), "none");
    EXPECT_EQ(Setting("", "TestSetting", "", 5), "from") << "cut to the buffer";
    platform::deleteFile(ini);
}

TEST_F(Companion, EnvironmentOverridesTheLogLevel) {
    ASSERT_TRUE(platform::setEnvironment("VRN_LOGLEVEL", "Error"));
    EXPECT_EQ(Setting("", "LogLevel", ""), "Error");
    ASSERT_TRUE(platform::unsetEnvironment("VRN_LOGLEVEL"));
    if (!platform::exists(SettingsFile())) {
        EXPECT_EQ(Setting("", "LogLevel", "info"), "info") << "no settings file: the default";
    }
}
