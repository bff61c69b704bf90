#include "tests/e2e/driver.h"

namespace e2e {

namespace {

// Walks the WORD-aligned fields of a DLGTEMPLATE resource, never past its end.
class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }

    WORD Word() {
        if (pos_ + 2 > size_) return Fail<WORD>();
        WORD value = static_cast<WORD>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return value;
    }
    DWORD Dword() {
        const DWORD low = Word();
        return low | (static_cast<DWORD>(Word()) << 16);
    }
    short Short() { return static_cast<short>(Word()); }

    // A text field: 0 for none, 0xFFFF followed by an ordinal, or a
    // NUL-terminated UTF-16 text (only ASCII is expected here).
    std::string SzOrOrdinal() {
        WORD first = Word();
        if (first == 0) return {};
        if (first == 0xFFFF) return "#" + std::to_string(Word());
        std::string text;
        for (WORD c = first; ok_ && c != 0; c = Word()) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return text;
    }
    std::string Sz() {
        std::string text;
        for (WORD c = Word(); ok_ && c != 0; c = Word()) text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return text;
    }
    void AlignDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
    void Skip(size_t bytes) {
        if (pos_ + bytes > size_) Fail<int>();
        else pos_ += bytes;
    }

private:
    template <typename T>
    T Fail() {
        ok_ = false;
        pos_ = size_;
        return T{};
    }
    const BYTE* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

std::string PredefinedClass(const std::string& text) {
    static const struct { const char* ordinal; const char* name; } kClasses[] = {
        {"#128", "BUTTON"}, {"#129", "EDIT"}, {"#130", "STATIC"},
        {"#131", "LISTBOX"}, {"#132", "SCROLLBAR"}, {"#133", "COMBOBOX"},
    };
    for (const auto& c : kClasses) {
        if (text == c.ordinal) return c.name;
    }
    return text;
}

}  // namespace

std::optional<DialogTemplate> ReadDialogTemplate(const std::string& path, int id) {
    const UniqueLibrary library(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!library) return std::nullopt;
    const HMODULE module = library.get();
    std::optional<DialogTemplate> result;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const auto* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (data) {
        Reader in(data, SizeofResource(module, resource));
        DialogTemplate dlg;
        dlg.style = in.Dword();
        dlg.ex_style = in.Dword();
        const WORD count = in.Word();
        dlg.x = in.Short();
        dlg.y = in.Short();
        dlg.cx = in.Short();
        dlg.cy = in.Short();
        dlg.menu = in.SzOrOrdinal();
        dlg.window_class = in.SzOrOrdinal();
        dlg.caption = in.Sz();
        if (dlg.style & DS_SETFONT) {
            dlg.point_size = in.Word();
            dlg.font = in.Sz();
        }
        // DLGTEMPLATEEX starts with 1, 0xFFFF: not handled here.
        const bool extended = (dlg.style & 0xFFFF) == 1 && (dlg.style >> 16) == 0xFFFF;
        for (WORD i = 0; i < count && in.ok() && !extended; ++i) {
            in.AlignDword();
            TemplateItem item;
            item.style = in.Dword();
            item.ex_style = in.Dword();
            item.x = in.Short();
            item.y = in.Short();
            item.cx = in.Short();
            item.cy = in.Short();
            item.id = in.Word();
            item.class_name = PredefinedClass(in.SzOrOrdinal());
            item.text = in.SzOrOrdinal();
            in.Skip(in.Word());  // creation data
            dlg.items.push_back(item);
        }
        if (in.ok() && !extended) result = dlg;
    }
    return result;
}

}  // namespace e2e
