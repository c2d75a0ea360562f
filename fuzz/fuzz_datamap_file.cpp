// Feeds arbitrary bytes to the settings-file reader as the contents of a file.
// Whatever it reads must be written as lines that cannot split or end early,
// and once written and read again it must stay the same text (a section name
// that brings its own brackets loses one at every writing, so the check starts
// from the second writing and leaves out names that still hold a bracket).
// Every value is also read with its stored type, which runs the text codecs of
// every type on the input.

#include "foundation/DataMapFile.h"
#include "foundation/Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

// Reads the value of key with its own type into a variable of that type.
void ReadTyped(const CDataMap& map, const std::string& key)
{
    const int type = map.GetType(key);
    std::string s;
    int32_t i = 0;
    double d = 0;
    uint32_t u = 0;
    float f = 0;
    int16_t sh = 0;
    uint8_t by = 0;
    uint16_t w = 0;
    wv::OleDateTime date;
    wv::Currency money;
    ColorRef color = 0;
    RectValue rect;
    PointValue point;
    std::vector<std::string> strings;
    std::vector<int32_t> ints;
    std::vector<double> doubles;
    std::vector<uint32_t> uints;
    std::vector<float> floats;
    std::vector<int16_t> shorts;
    std::vector<uint8_t> bytes;
    std::vector<wv::OleDateTime> dates;
    std::vector<wv::Currency> moneys;
    std::vector<uint16_t> words;
    std::vector<ColorRef> colors;
    std::vector<RectValue> rects;
    std::vector<PointValue> points;
    void* target = nullptr;
    switch (type) {
    case kDataMapString: target = &s; break;
    case kDataMapInt: case kDataMapBool: case kDataMapLong: target = &i; break;
    case kDataMapDouble: target = &d; break;
    case kDataMapDword: case kDataMapUInt: target = &u; break;
    case kDataMapFloat: target = &f; break;
    case kDataMapShort: target = &sh; break;
    case kDataMapByte: target = &by; break;
    case kDataMapDate: case kDataMapTime: case kDataMapDateTime: target = &date; break;
    case kDataMapCurrency: target = &money; break;
    case kDataMapWord: target = &w; break;
    case kDataMapStringArray: target = &strings; break;
    case kDataMapIntArray: case kDataMapBoolArray: case kDataMapLongArray: target = &ints; break;
    case kDataMapDoubleArray: target = &doubles; break;
    case kDataMapDwordArray: case kDataMapUIntArray: target = &uints; break;
    case kDataMapFloatArray: target = &floats; break;
    case kDataMapShortArray: target = &shorts; break;
    case kDataMapByteArray: target = &bytes; break;
    case kDataMapDateArray: case kDataMapTimeArray: case kDataMapDateTimeArray: target = &dates; break;
    case kDataMapCurrencyArray: target = &moneys; break;
    case kDataMapWordArray: target = &words; break;
    case kDataMapColor: target = &color; break;
    case kDataMapRect: target = &rect; break;
    case kDataMapPoint: target = &point; break;
    case kDataMapColorArray: target = &colors; break;
    case kDataMapRectArray: target = &rects; break;
    case kDataMapPointArray: target = &points; break;
    default: return;
    }
    const int got = map.Get(type, key, target);
    Check(got >= 0);
    // What was read is written again without trouble (a list may refuse an
    // element, never crash).
    CDataMap scratch;
    scratch.Set(type, "k", target);
}

// The file's text after a writing, reading and writing again.
std::string Rewritten(const std::string& text)
{
    CDataMapFile file;
    file.ParseText(text);
    return file.FormatText();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t end = bytes.find('\0');
    if (end != std::string::npos) {
        bytes.resize(end);
    }
    CDataMapFile file;
    file.ParseText(Cp1252ToUtf8(bytes));

    for (const std::string& name : file.SectionNames()) {
        const CDataMap* map = file.Section(name);
        Check(map != nullptr && map->GetName() == name && map->IsOrdered());
        std::vector<std::string> keys;
        Check(map->GetKeys(keys) == static_cast<int>(keys.size()));
        for (const std::string& key : keys) {
            Check(!key.empty() && key.find('=') == std::string::npos && key.find('(') == std::string::npos);
            ReadTyped(*map, key);
        }
    }

    const std::string first = file.FormatText();
    // No zero byte, and every line break is a whole "\r\n".
    Check(first.find('\0') == std::string::npos);
    for (size_t i = 0; i < first.size(); ++i) {
        if (first[i] == '\n') {
            Check(i > 0 && first[i - 1] == '\r');
        } else if (first[i] == '\r') {
            Check(i + 1 < first.size() && first[i + 1] == '\n');
        }
    }
    const std::string second = Rewritten(first);
    // A name that still starts with "[" or ends with "]" loses one more bracket at every
    // writing (the writer adds none where the name has one); other files are stable.
    // (The sections are also written in name order, so a name that changes can move.)
    bool bracketed = false;
    for (const std::string* text : {&first, &second}) {
        CDataMapFile reread;
        reread.ParseText(*text);
        for (const std::string& name : reread.SectionNames()) {
            bracketed = bracketed || (!name.empty() && (name.front() == '[' || name.back() == ']'));
        }
    }
    if (!bracketed) {
        Check(Rewritten(second) == second);
    }
    // The bytes written to disk convert back to the same text.
    Check(Cp1252ToUtf8(Utf8ToCp1252(second)) == second);
    return 0;
}
