// assetgen: writes every image and sound the game loads into its working
// folder. The output depends on nothing but this program, so a build always
// produces the same files.
#include "assets.h"

#include <cstdio>

std::string AssetPath(const std::string& root, const std::string& gamePath) {
    std::string path = root + "/" + gamePath;
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
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
    return ok ? 0 : 1;
}
