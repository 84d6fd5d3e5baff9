// Loads OpenSSL's legacy provider (DES, RC2, RC4, MD5's older names) and its default provider
// once for the whole cross-check program: loading any provider explicitly stops the default
// one from being loaded implicitly. libcrypto is an independent reference for tests only.
#include <gtest/gtest.h>
#include <openssl/provider.h>

namespace {

class OpenSslProviders : public ::testing::Environment {
  public:
    void SetUp() override {
        legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
        default_ = OSSL_PROVIDER_load(nullptr, "default");
        ASSERT_NE(legacy_, nullptr) << "OpenSSL legacy provider unavailable";
        ASSERT_NE(default_, nullptr) << "OpenSSL default provider unavailable";
    }
    void TearDown() override {
        if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
        if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    }

  private:
    OSSL_PROVIDER* legacy_ = nullptr;
    OSSL_PROVIDER* default_ = nullptr;
};

const ::testing::Environment* const kProviders =
    ::testing::AddGlobalTestEnvironment(new OpenSslProviders);

}  // namespace
