#include "engine_test_support.h"

#include <qor/platform/registry.h>
#include <qor/profile/password_cache.h>
#include <qor/profile/shared_random.h>
#include <qor/profile/user_profile.h>
#include <qor/toolkit.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "file_trailer.h"
#include "src/state_view.h"

namespace qor::engine::test {

namespace {

class AnsweringView : public ui::StateView {
  public:
    using StateView::StateView;
    int ShowMessage(std::string_view, std::string_view, ui::MessageButtons,
                    ui::MessageIcon) override {
        return ui::kIdOk;
    }
    void Beep() override {}
    void SetCursor(ui::CursorShape, int) override {}
};

int CountingHook(void* argument) {
    auto* state = static_cast<ProgressState*>(argument);
    ++*static_cast<int*>(state->dialog);
    return state->cancelled;
}

struct MemoryStream {
    Bytes bytes;
    static int Write(const unsigned char* data, unsigned int length, void* context) {
        auto* self = static_cast<MemoryStream*>(context);
        self->bytes.insert(self->bytes.end(), data, data + length);
        return 0;
    }
};

struct MemoryReader {
    const Bytes* bytes;
    size_t at = 0;
    static int Read(unsigned char* out, unsigned int* count, unsigned int maximum, void* context) {
        auto* self = static_cast<MemoryReader*>(context);
        const size_t n = std::min<size_t>(maximum, self->bytes->size() - self->at);
        std::copy_n(self->bytes->begin() + static_cast<long>(self->at), n, out);
        self->at += n;
        *count = static_cast<unsigned int>(n);
        return n == 0 ? kStreamEnd : 0;
    }
};

}  // namespace

int RecordingHost::RunModal(ui::DialogModel& model, ui::OwnerWindow) {
    AnsweringView view(model.Template());
    dialogCaptions.push_back(model.Template().caption);
    model.OnInit(view);
    presetNames.push_back(view.GetText(1152));
    if (names.empty()) {
        model.OnCommand(view, ui::kIdCancel);
    } else {
        view.SetText(1152, names.front());
        names.pop_front();
        model.OnCommand(view, ui::kIdOk);
    }
    return view.result();
}

int RecordingHost::ShowMessage(ui::OwnerWindow, std::string_view text, std::string_view caption,
                               ui::MessageButtons buttons, ui::MessageIcon) {
    messages.push_back({std::string(caption) + ": " + std::string(text), buttons});
    if (!answers.empty()) {
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    return buttons == ui::MessageButtons::kYesNo ? ui::kIdNo : ui::kIdOk;
}

void EngineTest::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = fs::temp_directory_path() /
               ("qor-engine-" + std::string(info->test_suite_name()) + "-" + info->name());
    fs::remove_all(scratch_);
    fs::create_directories(scratch_ / "home");
    home_ = (scratch_ / "home").string();
#ifndef _WIN32
    setenv("QOR_REGISTRY", (scratch_ / "registry.reg").string().c_str(), 1);
#endif
    ASSERT_TRUE(platform::RegistryWriteString(platform::Hive::kClassesRoot,
                                              "CLSID\\{8e3e0f0a-0fcc-11ce-bcb0-b3fd0e253819}\\QOR",
                                              "UserHomeDir", home_));

    profile::UserProfile& p = profile::Profile();
    p.Unload();
    p.SetHomeFolder(home_);
    const Bytes zeros(255, 0);
    for (int index = 1; index <= profile::kAttributeCount; ++index)
        p.SetAttribute(index, zeros.data());
    char name[64] = "alice";
    const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    p.SetAttribute(profile::kAttrUserName, name);
    p.SetAttribute(profile::kAttrSalt, salt);
    uint8_t wrapped[profile::kWrappedKeySize];
    ASSERT_EQ(profile::WrapUserKey(kUserKey, salt, kPassword, wrapped), 0);
    p.SetAttribute(profile::kAttrWrappedKey, wrapped);
    ASSERT_EQ(p.SetPassword(kPassword), 0);
    const std::string_view password = kPassword;
    ASSERT_EQ(p.Write(&password), 0);
    profile::Cache().StorePassword(kPassword);
    const Bytes seed = Pattern(256, 7);
    profile::MixIntoSharedRandom(seed.data(), seed.size());

    state_.dialog = &hookCalls_;
    hook_.callback = &CountingHook;
    hook_.argument = &state_;
    job_.progress = &hook_;
    job_.options = &options_;
}

void EngineTest::TearDown() {
    profile::Cache().ClearPassword(true);
#ifndef _WIN32
    unsetenv("QOR_REGISTRY");
#endif
    std::error_code ignored;
    fs::remove_all(scratch_, ignored);
}

std::string EngineTest::Folder(const std::string& name) const {
    fs::create_directories(scratch_ / name);
    return (scratch_ / name).string();
}

std::string EngineTest::Path(const std::string& folder, const std::string& name) const {
    return (fs::path(Folder(folder)) / name).string();
}

Bytes EngineTest::ReadAll(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void EngineTest::WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream(fs::u8path(path), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes EngineTest::Pattern(size_t size, uint8_t seed) {
    Bytes bytes(size);
    uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return bytes;
}

std::vector<std::string> EngineTest::Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::u8path(folder)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void EngineTest::ForgeLocalFile(const std::string& path, const std::string& storedName,
                                const Bytes& plaintext) {
    EnvelopeObject* envelope = nullptr;
    RandomObject* random = nullptr;
    AttributeList* attributes = nullptr;
    ASSERT_EQ(EnvelopeCreate(&envelope), 0);
    ASSERT_EQ(RandomCreate(&random), 0);
    const Bytes seed = Pattern(256, 3);
    ASSERT_EQ(RandomSeed(random, seed.data(), 256), 0);
    ASSERT_EQ(AttributeListCreate(&attributes), 0);
    ASSERT_EQ(EnvelopeAddPassword(envelope, kUserKey, sizeof kUserKey, 1), 0);
    ASSERT_EQ(AttributeListSetFileName(attributes,
                                       reinterpret_cast<const unsigned char*>(storedName.data()),
                                       static_cast<unsigned int>(storedName.size())),
              0);
    ASSERT_EQ(AttributeListSetUserName(attributes, reinterpret_cast<const unsigned char*>("x"), 2),
              0);
    MemoryStream out;
    MemoryReader in{&plaintext};
    StreamRecord output{nullptr, nullptr, nullptr, nullptr, &MemoryStream::Write, &out};
    StreamRecord input{nullptr, nullptr, &MemoryReader::Read, nullptr, nullptr, &in};
    ASSERT_EQ(EnvelopeSeal(&output, envelope, &input, 1, 40, random, attributes, nullptr), 0);
    const Bytes trailer =
        BuildTrailer("forged", static_cast<int32_t>(plaintext.size()), 2, nullptr, nullptr);
    out.bytes.insert(out.bytes.end(), trailer.begin(), trailer.end());
    WriteAll(path, out.bytes);
    AttributeListDestroy(&attributes);
    RandomDestroy(&random);
    EnvelopeDestroy(&envelope);
}

}  // namespace qor::engine::test
