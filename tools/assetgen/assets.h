// The groups of files the generator writes, one function per concern. Each
// takes the game's working folder and returns false when a file failed.
#ifndef ASSETGEN_ASSETS_H
#define ASSETGEN_ASSETS_H

#include <string>

// The file at the game's path `gamePath` ("data\\menu.png") under `root`,
// with the game's backslashes as folder separators on disk. Each path asked
// for is listed in the folder's ".asset-list", which names the asset set.
std::string AssetPath(const std::string& root, const std::string& gamePath);

bool WriteTerrainFiles(const std::string& root);  // Round\: picture, mask, start-up stand-ins
bool WriteSprites(const std::string& root);       // cannon, shell, base, blast sheet, icon
bool WriteHud(const std::string& root);           // panel, power and wind gauges
bool WriteTitleFiles(const std::string& root);    // logo, subtitle, ornament
bool WriteBackgrounds(const std::string& root);   // the skies behind the terrain
bool WriteSounds(const std::string& root);        // effects and the music loop

#endif
