// Sources as programs: the one place that decides whether a file name is
// an image or a source, so that the debugger and the runner open both the
// same way. A source is assembled in memory; its image then takes the
// loader's usual path (caption, header warning, reset), and a reset
// assembles the file again.
#pragma once

#include <string>
#include <string_view>

#include "asm/Assembler.h"

// The source that resets assemble again; empty while an image is loaded.
extern std::string SourceFileName;

// .s or .asm, in any case.
bool IsSourceName(std::string_view name);

// The whole file; throws TFileOpenError when it cannot be read, and
// refuses (with that error) a file beyond the loader's size cap.
std::string ReadSourceFile(const std::string& name);

// Options for assembling the source file `name` (empty: standard input):
// an .include names a file relative to the including file's folder (or the
// working folder for standard input), read with ReadSourceFile's limits.
TAsmOptions SourceFileOptions(const std::string& name);

// Loads a file as the debugger's open action does. An image goes through
// LoadProgram. A source is assembled: without errors its image replaces
// the loaded one; with errors nothing changes, unless nothing was loaded
// yet (atStartup), when the default image stays and the name is kept so
// that a reset tries the source again. Throws TFileOpenError. The result
// holds the assembly of a source (empty for an image), and `source`, when
// given, the text it was assembled from, so that nobody needs to read and
// assemble the file again for its symbols.
TAsmResult LoadAnyProgram(const std::string& name, bool atStartup, std::string* source = nullptr);

// For the reset action: assembles SourceFileName again into the held image
// lines. False (lines unchanged) when the source has errors or cannot be
// read, with the reason in result or error; true when no source is held.
// `source`, when given, receives the text assembled.
bool ReassembleSource(TAsmResult& result, std::string& error, std::string* source = nullptr);

// The text of the one message box about a source with errors: the file
// name and the first errors with their line numbers.
std::string SourceErrorText(const std::string& name, const TAsmResult& result);
