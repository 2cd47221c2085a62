// assetgen: writes every image and sound the game loads into its working
// folder. The output depends on nothing but this program, so a build always
// produces the same files.
#include "assets.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

// Every file written, relative to the working folder: the folder also holds
// what the game leaves there (AppLog.txt, user.data), so the asset set is
// named by this list, not by what happens to be in the folder.
std::vector<std::string> gWritten;

constexpr const char* kListName = ".asset-list";

bool WriteList(const std::string& root) {
    std::sort(gWritten.begin(), gWritten.end());
    std::ofstream out(root + "/" + kListName, std::ios::trunc);
    for (const std::string& file : gWritten) out << file << '\n';
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

std::string AssetPath(const std::string& root, const std::string& gamePath) {
    std::string relative = gamePath;
    for (char& c : relative)
        if (c == '\\') c = '/';
    gWritten.push_back(relative);
    return root + "/" + relative;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: assetgen <working folder>\n");
        return 2;
    }
    std::string root = argv[1];
    bool ok = WriteTerrainFiles(root);
    ok = WriteSprites(root) && ok;
    ok = WriteHud(root) && ok;
    ok = WriteTitleFiles(root) && ok;
    ok = WriteBackgrounds(root) && ok;
    ok = WriteSounds(root) && ok;
    ok = WriteList(root) && ok;
    return ok ? 0 : 1;
}
