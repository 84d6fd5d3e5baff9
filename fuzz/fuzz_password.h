// The password the envelope fuzzer opens with and the seed corpus seals with, so that seeds
// reach the content and the fuzzer starts from real, decryptable envelopes.
#pragma once

inline const unsigned char kFuzzPassword[] = {'f', 'u', 'z', 'z', '-', 'p', 'w'};
inline constexpr unsigned int kFuzzPasswordLength = sizeof kFuzzPassword;
