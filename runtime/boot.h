// The boot code: the boot sources (datatype words, typesets, actions, natives, operators,
// constants), the specs of the library's routines and the library's own sources, scanned at
// build time and embedded as the boot image. Start-up decodes the image into the root block;
// the code is then evaluated once, in source order, and binds every built-in value, routine
// and library function to its word.
#pragma once
#include <cstddef>
#include <string>

#include "core/cell.h"

namespace tav::boot {

// Set by the boot-image loader once the image is in the root block. A program linked
// without an image (the tool that makes it) starts with no library.
extern bool image_loaded;

// The image's root value: a block of pairs in source order, the source's name (file!) and
// its top-level code (block!); between the boot sources and the library's, the routines'
// pair (see add_routine_specs). Null when no image was loaded.
const Cell* image();

// A source's name in the image: its path below the library's folder ("boot/natives.tav",
// "evaluation.tav"), or its base name when it lies elsewhere.
std::string source_name(const std::string& path);

// Scans one boot source (a text file) and appends its pair to root, a block: the file's
// name as a file! and its code (the script header left out) as a block!. Answers false
// when the file cannot be read; a syntax error is raised as a language error. The boot-image
// tool makes the image with it; the text road below loads the sources with it.
bool add_text_source(Cell* root, const char* path);

// Appends the pair that binds the routines: the word `routines` and a block of the
// registry's rows as name (a set-word, or a set-path into an object) and spec block, in
// registry order. The image carries it between the boot sources and the library's: the
// routines named by a word are bound there, those named by a path once the library's
// sources have made the objects. The rows that go into system/view belong to the view
// layer's library: they are written only into an image made with it (with_view).
void add_routine_specs(Cell* root, bool with_view);
// The pair's word, and the line that stands for it in a list of sources (the second for an
// image with the view layer's library).
inline constexpr const char* ROUTINES_MARKER = "routines";
inline constexpr const char* VIEW_ROUTINES_MARKER = "routines+view";
// The path prefix of the view layer's routines.
inline constexpr const char* VIEW_ROUTINE_PREFIX = "system/view/";

// The text road: when set (before runtime::init) to a file that lists boot sources, one path
// a line in evaluation order, start-up scans those sources as text instead of decoding the
// embedded image. It exists to measure what the image saves (bench/boot-image.sh); any
// fault ends start-up with a message on standard error and status 1.
extern const char* text_manifest;

// Loads the sources text_manifest lists into a new root block; answers its root position.
uint32_t load_text_sources();

// Evaluates one code block at top level. An error is raised as any evaluation error is;
// break, return or throw reaching the top level is fatal (name is the source's, for the
// message).
void evaluate(const Cell* code, const char* name);

// Evaluates every code block of the image in order and binds the routines. Any failure, a malformed image among
// them, is fatal: the error is written to standard error and the process ends with status 1.
void run_sources();

}  // namespace tav::boot
