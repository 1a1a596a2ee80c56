// The outside programs that make a disc: ffmpeg for the audio, mplex, dvdauthor and xorriso,
// each run as a child without a shell, with its output kept for the message when it fails.
#pragma once

#include "author/disc_plan.h"

#include <string>
#include <vector>

namespace author_tool {

// The package that brings a tool, for the message when it is missing.
std::string PackageOf(const std::string& tool);
// Whether `tool` is an executable file in PATH.
bool HaveTool(const std::string& tool);

// Runs `argv`; true on exit 0. Otherwise `error` says which program failed, how, and the last
// lines it wrote. With `inPath` and `outPath` the program reads and writes those files as its
// standard input and output.
bool RunTool(const std::vector<std::string>& argv, std::string& error,
             const std::string& inPath = "", const std::string& outPath = "");

// Encodes the menu still to one second of DVD menu video with silent audio.
bool EncodeMenuVideo(const std::string& stillPng, bool pal, const std::string& out,
                     std::string& error);

// The channels and sample rate of the first audio stream of `path` (ffprobe), 0 and 0
// without audio. False when ffprobe cannot read the file.
bool ProbeAudio(const std::string& path, int& channels, int& sampleRate, std::string& error);

// Encodes the source's audio from `startSeconds` for `seconds` to 48 kHz AC-3 in `out`.
bool EncodeTitleAudio(const std::string& source, double startSeconds, double seconds, int channels,
                      const std::string& out, std::string& error);

} // namespace author_tool
