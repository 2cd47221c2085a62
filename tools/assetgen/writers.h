// File writers: PNG through libpng, JPEG through libjpeg, BMP laid out by
// hand, WAVE through libsndfile. Each creates the folders on the way and
// returns false (having printed why) when the file could not be written.
#ifndef ASSETGEN_WRITERS_H
#define ASSETGEN_WRITERS_H

#include "raster.h"

#include <string>
#include <vector>

enum class PngKind { Rgb, Rgba };

bool WritePng(const std::string& path, const Image& image, PngKind kind);
bool WriteJpeg(const std::string& path, const Image& image, int quality);
// 24 bits a pixel, bottom-up rows; alpha is dropped.
bool WriteBmp24(const std::string& path, const Image& image);
// 8 bits a pixel with a palette of the picture's own colours; false when it
// holds more than 256 distinct colours.
bool WriteBmp8(const std::string& path, const Image& image);
// The alpha channel as an 8-bit grey BMP: the "_a" file that gives a BMP its
// transparency (the loader reads the red channel as alpha).
bool WriteAlphaBmp(const std::string& path, const Image& image);

// Mono sample rate of every sound of the game.
constexpr int SampleRate = 22050;

bool WriteWavePcm16(const std::string& path, const std::vector<float>& samples);
// IMA ADPCM; `samples` should fill whole blocks (ImaSamplesPerBlock) so that
// no padding follows the last sample and a loop stays seamless.
bool WriteWaveImaAdpcm(const std::string& path, const std::vector<float>& samples);
// Samples in one IMA ADPCM block as the writer lays them out for a mono sound.
int ImaSamplesPerBlock();

#endif
