// A picture as a PNG file, for the screenshots the dialog tests leave behind: 8-bit RGB, the
// image data in stored (uncompressed) deflate blocks, so no compression library is needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qor::test {

// `pixels` holds width * height values 0x00RRGGBB, row after row from the top.
std::vector<uint8_t> PngBytes(int width, int height, const std::vector<uint32_t>& pixels);
bool WritePng(const std::string& path, int width, int height, const std::vector<uint32_t>& pixels);

}  // namespace qor::test
