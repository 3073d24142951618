// An app folder's other files as the packer stores them, for test packages.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "package/app_files.h"
#include "support/zlib_stream.h"

namespace plinth::testing_support {

struct TestFile {
    std::string path;
    std::string text;
};

// The RCDATA 2 resource for the files: each text as its own zlib stream.
inline std::vector<std::uint8_t> app_files_resource(const std::vector<TestFile>& files) {
    std::vector<std::vector<std::uint8_t>> streams;
    AppFiles table;
    for (const TestFile& file : files) {
        streams.push_back(zlib_stream(file.text, 6));
        table.push_back({file.path, static_cast<std::uint32_t>(file.text.size()), {}});
    }
    for (std::size_t i = 0; i < table.size(); ++i) table[i].stream = streams[i];
    return build_app_files(table);
}

}  // namespace plinth::testing_support
