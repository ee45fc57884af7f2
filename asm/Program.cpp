#include "asm/Program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "core/Loader.h"

std::string SourceFileName;

namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t k = 0; k < suffix.size(); ++k) {
    char c = s[s.size() - suffix.size() + k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != suffix[k]) return false;
  }
  return true;
}

// How many errors the message box lists; the rest are counted.
constexpr size_t BoxErrors = 10;

}  // namespace

bool IsSourceName(std::string_view name) { return EndsWithNoCase(name, ".s") || EndsWithNoCase(name, ".asm"); }

std::string ReadSourceFile(const std::string& name) {
  // Opening does not wait for a writer, so a named pipe is refused at once
  // like every other file that is not a regular one.
  const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw TFileOpenError(name);
  std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(fd, "rb"), &std::fclose);
  if (!file) {
    close(fd);
    throw TFileOpenError(name);
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > MaxFileBytes) throw TFileOpenError(name);
  std::string text;
  char buffer[1 << 16];
  while (true) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    if (text.size() + got > MaxFileBytes) throw TFileOpenError(name);
    text.append(buffer, got);
    if (got < sizeof buffer) break;
  }
  if (std::ferror(file.get())) throw TFileOpenError(name);
  return text;
}

TAsmOptions SourceFileOptions(const std::string& name) {
  TAsmOptions options;
  options.FileName = name;
  options.ReadInclude = [](const std::string& from, const std::string& wanted, TAsmIncludeFile& file,
                           std::string& error) {
    namespace fs = std::filesystem;
    fs::path path(wanted);
    if (path.is_relative() && !from.empty()) path = fs::path(from).parent_path() / path;
    file.File = path.lexically_normal().string();
    std::error_code code;
    const fs::path canonical = fs::weakly_canonical(path, code);
    file.Identity = code ? file.File : canonical.string();
    try {
      file.Text = ReadSourceFile(file.File);
    } catch (const TFileOpenError&) {
      if (!fs::exists(path, code))
        error = "no such file";
      else if (!fs::is_regular_file(path, code))
        error = "not a regular file";
      else
        error = "the file cannot be read or is larger than the loader's limit";
      return false;
    }
    return true;
  };
  return options;
}

TAsmResult LoadAnyProgram(const std::string& name, bool atStartup, std::string* source) {
  if (!IsSourceName(name)) {
    LoadProgram(name);
    SourceFileName.clear();
    return {};
  }
  std::string text = ReadSourceFile(name);
  TAsmResult result = Assemble(text, SourceFileOptions(name));
  if (source) *source = std::move(text);
  if (result.Ok()) {
    ProgramFileName = name;
    SourceFileName = name;
    ProgramLines.Assign(CodText(result));
    BuildImage();
  } else if (atStartup) {
    ProgramFileName = name;
    SourceFileName = name;
  }
  return result;
}

bool ReassembleSource(TAsmResult& result, std::string& error, std::string* source) {
  if (SourceFileName.empty()) return true;
  try {
    std::string text = ReadSourceFile(SourceFileName);
    result = Assemble(text, SourceFileOptions(SourceFileName));
    if (source) *source = std::move(text);
  } catch (const TFileOpenError& e) {
    error = e.what();
    return false;
  }
  if (!result.Ok()) return false;
  ProgramLines.Assign(CodText(result));
  return true;
}

std::string SourceErrorText(const std::string& name, const TAsmResult& result) {
  std::string text = "Fehler beim Assemblieren von " + name + ":\n";
  size_t shown = 0;
  for (const TAsmDiagnostic& d : result.Diagnostics) {
    if (d.Severity != TAsmSeverity::Error) continue;
    if (shown == BoxErrors) break;
    text += "\n" + DiagnosticText(name, d);
    ++shown;
  }
  if (result.ErrorCount > shown || result.TooManyErrors)
    text += "\n... und weitere Fehler (insgesamt " + std::to_string(result.ErrorCount) +
            (result.TooManyErrors ? " und mehr" : "") + ")";
  return text;
}
