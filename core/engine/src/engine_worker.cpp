// The walk's per-file operations carried out by the real engine.
#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/engine/selection_walk.h>

namespace qor::engine {

namespace {

class Engine final : public FileWorker {
  public:
    int Encrypt(FileJob& job, const std::string& source, const std::string& output) override {
        return EncryptFile(job, source, output);
    }
    int Decrypt(FileJob& job, const std::string& encrypted, std::string* decrypted) override {
        return DecryptFile(job, encrypted, decrypted);
    }
    int SelfExtractingName(const std::string& source, std::string* name) override {
        return engine::SelfExtractingName(source, name);
    }
    int ChooseAnotherName(FileJob& job, const std::string& source, std::string* name) override {
        return engine::ChooseAnotherName(job, source, name);
    }
};

}  // namespace

FileWorker& EngineWorker() {
    static Engine engine;
    return engine;
}

}  // namespace qor::engine
