#pragma once
// Internet-shortcut files: the small text files that hand a web address to the
// user's browser when the shell opens them. The program writes them into the
// current directory, only when missing, and never changes or deletes one that is
// there. The decisions live here over a small file interface, so that a native test
// can check them with a fake; internet_shortcut-win32.cpp makes the real files.
#include <memory>
#include <string>
#include <string_view>

/// Shortcut to the home page, written and opened by a click on the About dialog's link.
constexpr char kHomeShortcutName[] = "Tarvex online.url";
constexpr char kHomePageUrl[] = "http://tarvex.example/";
/// Shortcut to the contribution page, written and opened by "Contribute $".
constexpr char kContributeShortcutName[] = "Contribute.url";
constexpr char kContributeUrl[] = "http://tarvex.example/contribuir.php";

/// "[InternetShortcut]", one line feed (no carriage return), "URL=" and `url`; nothing
/// after the URL: no line end and no terminating zero.
std::string BuildInternetShortcutText(std::string_view url);

/// A file that has just been created, open for writing. Destroying the object closes it.
class NewFile {
public:
    virtual ~NewFile() = default;
    /// Writes `bytes` at the current position; true only when every byte was written.
    virtual bool Write(std::string_view bytes) = 0;
};

/// Creates and removes files in the current directory.
class ShortcutFiles {
public:
    virtual ~ShortcutFiles() = default;
    /// Creates `name` for writing only if no file of that name exists, in one step (an
    /// existing file is never opened, truncated or otherwise touched). Returns null when
    /// nothing was created; `exists` then tells whether that is because the file exists.
    virtual std::unique_ptr<NewFile> CreateNew(const std::string& name, bool& exists) = 0;
    /// Deletes `name`.
    virtual void Remove(const std::string& name) = 0;
};

enum class ShortcutFileState { kWritten, kAlreadyThere, kNotWritten };

/// Makes sure the shortcut file `name` exists. A missing file is created and `text`
/// written into it in one piece; an existing file is left exactly as it is, whatever
/// it holds. A file that was created but could not be written in full is closed and
/// removed again (kNotWritten), so that no cut-off shortcut stays behind to be kept
/// as "already there" from then on.
ShortcutFileState EnsureShortcutFile(ShortcutFiles& files, const std::string& name, std::string_view text);
