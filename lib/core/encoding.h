// The string encoding every public string is in, and the one decoder the
// library reads characters with, whatever the encoding: text drawing, the
// log, fields and paths all go through it.
#ifndef TESSEL_CORE_ENCODING_H
#define TESSEL_CORE_ENCODING_H

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t ReplacementCharacter = 0xFFFD;
// A Shift-JIS unit with no Unicode form (a stray lead byte, an empty row of
// the code page): it has no character to draw, only the face's box.
constexpr uint32_t NoCharacter = 0x110000;

// The encoding in force: the program's choice, else TESSEL_STRING_ENCODING's,
// else Shift-JIS.
int CurrentStringEncoding();

// The character at text[*position], `length` bytes in all, in `encoding`:
// its code point, and *position moved past it (at least one byte, never past
// `length`). Invalid UTF-8 (an overlong form, a surrogate, past U+10FFFF, a
// cut sequence) is U+FFFD for each bad sequence.
uint32_t NextCodePoint(int encoding, const char* text, size_t length, size_t* position);
inline uint32_t NextCodePoint(const char* text, size_t length, size_t* position) {
    return NextCodePoint(CurrentStringEncoding(), text, length, position);
}
// The bytes of the character at text[position] as NextCodePoint takes them.
size_t CharacterLength(int encoding, const char* text, size_t length, size_t position);
// The bytes a character starting with `lead` takes when it is whole (1..4).
size_t LeadLength(int encoding, uint8_t lead);
// The longest start of text[0..limit) that ends on a whole character.
size_t WholeCharactersLength(int encoding, const char* text, size_t limit);

// One character as its bytes packed into an int, the first byte highest
// (Shift-JIS lead << 8 | trail): how the key-input buffer and the fields
// pass characters around, so that the bytes stay exactly as typed.
inline int PackedLength(int packed) {
    auto bits = static_cast<uint32_t>(packed);
    return bits > 0xFFFFFF ? 4 : bits > 0xFFFF ? 3 : bits > 0xFF ? 2 : 1;
}
int PackCharacter(const char* text, size_t bytes);
// Writes the packed character's bytes to `out`; their count.
int UnpackCharacter(int packed, char* out);

// Appends `character` in `encoding`; 0 when it has no form there.
int AppendCharacter(int encoding, uint32_t character, std::string* out);
// `text` from one encoding to the other; characters without a form in the
// target are left out and counted in *dropped.
std::string ConvertEncoding(const char* text, size_t length, int from, int to, int* dropped);

#endif
