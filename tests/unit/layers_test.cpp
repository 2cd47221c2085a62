// The library's include graph against its declared layers: no file reaches
// up, so the core can be read and changed without the layers above it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Layer {
    int level;  // position in the file, lowest first
    int group;  // folders of one "|" line share a level but not a group
};

const fs::path kLib = fs::path(TESSEL_SOURCE_DIR) / "lib";

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t");
    size_t b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::map<std::string, Layer> ReadLayers() {
    std::map<std::string, Layer> layers;
    std::ifstream in(kLib / "layers.txt");
    std::string line;
    int level = 0, group = 0;
    while (std::getline(in, line)) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        bool sideBySide = line.find('|') != std::string::npos;
        std::stringstream names(line);
        std::string name;
        while (std::getline(names, name, sideBySide ? '|' : '+')) {
            layers[Trim(name)] = {level, group};
            if (sideBySide) ++group;
        }
        if (!sideBySide) ++group;
        ++level;
    }
    return layers;
}

// "a/b.cpp:12 includes x/y.h", one a line, for every include that reaches
// a higher layer or a neighbour standing beside its own.
std::string UpwardIncludes(const std::map<std::string, Layer>& layers) {
    const std::regex include(R"(^\s*#\s*include\s*"([a-z_]+)/)");
    std::string found;
    for (const auto& entry : fs::recursive_directory_iterator(kLib)) {
        if (!entry.is_regular_file()) continue;
        fs::path rel = fs::relative(entry.path(), kLib);
        std::string ext = rel.extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        auto ownEntry = layers.find(rel.begin()->string());
        if (ownEntry == layers.end()) continue;  // the public header, or a folder named below
        const Layer& own = ownEntry->second;
        std::ifstream in(entry.path());
        std::string line;
        for (int n = 1; std::getline(in, line); ++n) {
            std::smatch m;
            if (!std::regex_search(line, m, include)) continue;
            auto target = layers.find(m[1]);
            if (target == layers.end()) continue;  // a folder of the same layer's own
            const Layer& other = target->second;
            if (other.level > own.level || (other.level == own.level && other.group != own.group))
                found += rel.string() + ":" + std::to_string(n) + " includes " + m[1].str() + "/\n";
        }
    }
    return found;
}

TEST(Layers, EveryFolderHasALayerAndNoFileIncludesUpward) {
    std::map<std::string, Layer> layers = ReadLayers();
    ASSERT_GE(layers.size(), 8u) << "lib/layers.txt was not read";
    for (const auto& entry : fs::directory_iterator(kLib)) {
        std::string name = entry.path().filename().string();
        if (entry.is_directory() && name != "include")
            EXPECT_TRUE(layers.count(name)) << "lib/" << name << " has no place in lib/layers.txt";
    }
    EXPECT_EQ(UpwardIncludes(layers), "");
}

}  // namespace
