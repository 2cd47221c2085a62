// The library's include and call graphs against its declared layers: no
// file reaches up, so the core can be read and changed without the layers
// above it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <set>
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

bool ReachesUp(const Layer& own, const Layer& other) {
    return other.level > own.level || (other.level == own.level && other.group != own.group);
}

// The layer folder an include names: its first folder; for the public
// header's parts ("tessel/input.h") the layer the part is named after, and
// for tessel.h, which includes them all, the top layer.
std::string IncludedFolder(const std::string& line, const std::string& top) {
    static const std::regex include(R"(^\s*#\s*include\s*"([a-z_]+)(/|\.h"))");
    static const std::regex part(R"(^\s*#\s*include\s*"tessel/([a-z_]+)\.h")");
    std::smatch m;
    if (std::regex_search(line, m, part)) return m[1];
    if (!std::regex_search(line, m, include)) return "";
    if (m[2] == "/") return m[1];
    return m[1] == "tessel" ? top : "";
}

// "a/b.cpp:12 includes x/", one a line, for every include that reaches a
// higher layer or a neighbour standing beside its own.
std::string UpwardIncludes(const std::map<std::string, Layer>& layers) {
    std::string top;
    for (const auto& [name, layer] : layers)
        if (top.empty() || layer.level > layers.at(top).level) top = name;
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
            std::string folder = IncludedFolder(line, top);
            auto target = layers.find(folder);
            if (target == layers.end()) continue;  // a folder of the same layer's own
            if (ReachesUp(own, target->second))
                found += rel.string() + ":" + std::to_string(n) + " includes " + folder + "/\n";
        }
    }
    return found;
}

// The layer folder an object file was compiled from: the folder after the
// last "lib/" of its path in the build tree.
std::string LayerOfObject(const std::string& path) {
    size_t at = path.rfind("/lib/");
    if (at == std::string::npos) return "";
    at += 5;
    return path.substr(at, path.find('/', at) - at);
}

struct ObjectSymbols {
    std::string path, layer;
    std::vector<std::string> defined, undefined;
};

// Every object's global symbols, through one run of nm, demangled. Weak
// ones are inline functions and templates compiled into their caller: the
// include check already covers where they come from.
std::vector<ObjectSymbols> ReadSymbols(const std::vector<std::string>& paths) {
    std::map<std::string, ObjectSymbols> objects;
    std::string command = "nm -g -C -A";
    for (const std::string& path : paths) {
        objects[path] = {path, LayerOfObject(path), {}, {}};
        command += " '" + path + "'";
    }
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    // Each line is the path, a colon, a 16-digit address (blank when
    // undefined), the type letter and the name.
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::string text(buffer);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        size_t colon = text.find(':');
        auto object = objects.find(text.substr(0, colon));
        if (colon == std::string::npos || object == objects.end()) continue;
        text.erase(0, colon + 1);
        if (text.size() < 20 || text[16] != ' ' || text[18] != ' ') continue;
        char type = text[17];
        if (type == 'U') object->second.undefined.push_back(text.substr(19));
        else if (std::string("TDBR").find(type) != std::string::npos)
            object->second.defined.push_back(text.substr(19));
    }
    pclose(pipe);
    std::vector<ObjectSymbols> list;
    for (auto& [path, object] : objects) list.push_back(std::move(object));
    return list;
}

// "a/b.cpp.o calls F, defined in x/", one a line, for every call (or use of
// a variable) that reaches a higher layer or a neighbour beside its own.
std::string UpwardCalls(const std::map<std::string, Layer>& layers,
                        const std::vector<ObjectSymbols>& objects) {
    std::map<std::string, std::set<std::string>> definedIn;
    for (const ObjectSymbols& object : objects)
        for (const std::string& symbol : object.defined) definedIn[symbol].insert(object.layer);
    std::string found;
    for (const ObjectSymbols& object : objects) {
        auto own = layers.find(object.layer);
        if (own == layers.end()) continue;
        for (const std::string& symbol : object.undefined) {
            auto where = definedIn.find(symbol);
            if (where == definedIn.end()) continue;  // outside the library
            for (const std::string& layer : where->second) {
                auto other = layers.find(layer);
                if (other != layers.end() && ReachesUp(own->second, other->second))
                    found += object.layer + "/" + fs::path(object.path).filename().string() +
                             " calls " + symbol + ", defined in " + layer + "/\n";
            }
        }
    }
    return found;
}

TEST(Layers, EveryFolderHasALayerAndNoFileIncludesUpward) {
    std::map<std::string, Layer> layers = ReadLayers();
    ASSERT_GE(layers.size(), 8u) << "lib/layers.txt was not read";
    for (const auto& entry : fs::directory_iterator(kLib)) {
        std::string name = entry.path().filename().string();
        if (entry.is_directory() && name != "include") {
            EXPECT_TRUE(layers.count(name)) << "lib/" << name << " has no place in lib/layers.txt";
        }
    }
    EXPECT_EQ(UpwardIncludes(layers), "");
}

TEST(Layers, NoObjectFileCallsUpward) {
    std::map<std::string, Layer> layers = ReadLayers();
    std::ifstream list(TESSEL_OBJECT_LIST);
    std::vector<std::string> paths;
    for (std::string path; std::getline(list, path);)
        if (!path.empty()) paths.push_back(path);
    std::vector<ObjectSymbols> objects = ReadSymbols(paths);
    ASSERT_GE(objects.size(), 50u) << "the object list " << TESSEL_OBJECT_LIST << " was not read";
    size_t withSymbols = 0;
    for (const ObjectSymbols& object : objects) withSymbols += !object.defined.empty();
    ASSERT_GE(withSymbols, objects.size() / 2) << "nm gave nothing";
    EXPECT_EQ(UpwardCalls(layers, objects), "");
}

}  // namespace
