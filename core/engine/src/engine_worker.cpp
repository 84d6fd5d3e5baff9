// The walk's per-file operations carried out by the real engine.
#include <qor/engine/file_engine.h>
#include <qor/engine/file_share.h>
#include <qor/engine/selection_walk.h>

#include "durable_batch.h"

namespace qor::engine {

namespace {

// The files of a walk share their flushes (durable_batch.h); the walk settles the batch when it
// ends.
class Engine final : public FileWorker {
  public:
    int Encrypt(FileJob& job, const std::string& source, const std::string& output) override {
        const int status = EncryptFileInto(job, source, output, &batch_);
        if (batch_.Full()) batch_.Settle();
        return status;
    }
    int Decrypt(FileJob& job, const std::string& encrypted, std::string* decrypted) override {
        const int status = DecryptFileInto(job, encrypted, decrypted, &batch_);
        if (batch_.Full()) batch_.Settle();
        return status;
    }
    void Settle() override { batch_.Settle(); }
    int SelfExtractingName(const std::string& source, std::string* name) override {
        return engine::SelfExtractingName(source, name);
    }
    int ChooseAnotherName(FileJob& job, const std::string& source, std::string* name) override {
        return engine::ChooseAnotherName(job, source, name);
    }

  private:
    DurableBatch batch_;
};

}  // namespace

FileWorker& EngineWorker() {
    static Engine engine;
    return engine;
}

}  // namespace qor::engine
