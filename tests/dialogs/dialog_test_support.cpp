#include "dialog_test_support.h"

#include <qor/platform/registry.h>
#include <qor/platform/system.h>
#include <qor/profile/password_cache.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "dialog_open_flag.h"

namespace qor::dialogs::test {

namespace fs = std::filesystem;
using namespace ui;

const uint8_t kUserKey[profile::kUserKeySize] = {0x10, 0x32, 0x54, 0x76, 0x98,
                                                 0xba, 0xdc, 0xfe, 0x01, 0x23};
int64_t DialogTest::now = 0;

int RecordingHost::RunModal(DialogModel& model, OwnerWindow owner) {
    openFlagAtDialog.push_back(DialogOpenFlag());
    if (beforeDialog) beforeDialog(dialogs_);
    ++dialogs_;
    return ScriptHost::RunModal(model, owner);
}

int RecordingHost::ShowMessage(OwnerWindow owner, std::string_view text, std::string_view caption,
                               MessageButtons buttons, MessageIcon icon) {
    icons.push_back(icon);
    return ScriptHost::ShowMessage(owner, text, caption, buttons, icon);
}

ScriptedRun::ScriptedRun(std::string_view scenario) {
    script::Scenario parsed;
    std::string error;
    EXPECT_TRUE(script::ParseScenario(scenario, &parsed, &error)) << error;
    host_ = std::make_unique<RecordingHost>(std::move(parsed));
    host_->SetTranscript([this](std::string_view line) { transcript.emplace_back(line); });
    host_->SetErrorStream(errors);
    host_->SetExitForTesting([this](int status) { exits.push_back(status); });
    SetHostForTesting(host_.get());
}

ScriptedRun::~ScriptedRun() {
    SetHostForTesting(nullptr);
}

void ScriptedRun::ExpectClean() const {
    EXPECT_TRUE(exits.empty()) << errors.str();
    EXPECT_EQ(host_->remaining(), 0u) << "scenario lines left unused";
}

void TestView::RunTimersUntil(DialogModel& model, uint64_t until) {
    int timerId = 0;
    uint64_t due = 0;
    while (NextTimer(&timerId, &due) && due <= until) {
        SetNow(due);
        Rearm(timerId);
        model.OnTimer(*this, timerId);
    }
    SetNow(until);
}

void TestView::Click(DialogModel& model, int id) {
    SetCheck(id, !IsChecked(id));
    model.OnCommand(*this, id);
}

void DialogTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = fs::temp_directory_path() /
               ("qor-dialogs-" + std::string(info->test_suite_name()) + "-" + info->name());
    fs::remove_all(scratch_);
    fs::create_directories(scratch_ / "home");
    home_ = (scratch_ / "home").string();
#ifndef _WIN32
    // A private registry: no DriveA or DriveB unless a test sets them.
    setenv("QOR_REGISTRY", (scratch_ / "registry.reg").string().c_str(), 1);
#endif
    now = 1'000'000;
    platform::SetCalendarClockForTesting([] { return now; });

    profile::UserProfile& p = profile::Profile();
    p.Unload();
    p.SetHomeFolder(home_);
    const Bytes zeros(255, 0);
    for (int index = 1; index <= profile::kAttributeCount; ++index)
        p.SetAttribute(index, zeros.data());
    profile::Cache().ClearPassword(true);
    SetDialogOpenFlag(true);
}

void DialogTest::TearDown() {
    SetHostForTesting(nullptr);
    platform::SetCalendarClockForTesting(nullptr);
    profile::Cache().ClearPassword(true);
#ifndef _WIN32
    unsetenv("QOR_REGISTRY");
#endif
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
}

void DialogTest::SetUpUser(std::string_view password, uint16_t minutes, bool keep,
                           std::string_view authenticatorPassword) {
    profile::UserProfile& p = profile::Profile();
    char name[64] = "alice";
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const uint8_t minuteBytes[2] = {static_cast<uint8_t>(minutes & 0xff),
                                    static_cast<uint8_t>(minutes >> 8)};
    const uint8_t keepByte = keep ? 1 : 0;
    p.SetAttribute(profile::kAttrUserName, name);
    p.SetAttribute(profile::kAttrSalt, salt);
    p.SetAttribute(profile::kAttrKeepMinutes, minuteBytes);
    p.SetAttribute(profile::kAttrKeepPassword, &keepByte);
    uint8_t wrapped[profile::kWrappedKeySize];
    ASSERT_EQ(profile::WrapUserKey(kUserKey, salt, password, wrapped), 0);
    p.SetAttribute(profile::kAttrWrappedKey, wrapped);
    ASSERT_EQ(p.SetPassword(password), 0);
    const std::string_view writer =
        authenticatorPassword.empty() ? password : authenticatorPassword;
    ASSERT_EQ(p.Write(&writer), 0);
}

std::string DialogTest::HomeFile() const {
    return (fs::path(home_) / profile::kProfileFileName).string();
}

std::string DialogTest::Folder(const std::string& name) const {
    fs::create_directories(scratch_ / name);
    return (scratch_ / name).string();
}

Bytes DialogTest::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void DialogTest::WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes DialogTest::AttributeIn(const Bytes& file, int index) {
    const size_t at = profile::AttributeFileOffset(index);
    const size_t size = profile::AttributeSizeOf(index);
    if (file.size() < at + size) return {};
    return Bytes(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + size));
}

Bytes DialogTest::AttributeNow(int index) {
    Bytes value(profile::AttributeSizeOf(index));
    profile::Profile().GetAttribute(index, value.data(), false);
    return value;
}

void DialogTest::SetDrive(char letter, const std::string& folder) {
    ASSERT_TRUE(platform::RegistryWriteString(platform::Hive::kClassesRoot,
                                              "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                              letter == 'b' ? "DriveB" : "DriveA", folder));
}

}  // namespace qor::dialogs::test
