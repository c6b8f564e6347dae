// The size limits of the XML readers, kept apart from the reading loops: the
// refusal texts built here would otherwise change how the compiler treats
// the string code of those loops.
#include "util/input_limits.h"
#include "x12build/xml_input.h"

namespace brolvin {

std::string XmlPrescan::refusal(const std::string& source) const {
    if (!refused()) return "";
    return std::string(refusedWhat_) + " of " + source + " is longer than " + limitText(refusedLimit_);
}

void XmlPrescan::keepCapture() {
    std::optional<std::string>& found = found_[static_cast<size_t>(capturing_)];
    found = decodeXmlText(capture_);
    heldHeaderBytes_ += found->size();
    capturing_ = -1;
}

// The header values together stay within the text limit of one element.
bool XmlPrescan::capture(std::string_view text) {
    if (heldHeaderBytes_ + capture_.size() + text.size() <= kMaxXmlTextBytes) {
        capture_.append(text);
        return true;
    }
    refusedWhat_ = "the text of a BATCH header tag";
    refusedLimit_ = kMaxXmlTextBytes;
    capturing_ = -1;
    std::string().swap(capture_);
    return false;
}

bool XmlRecordReader::withinLimits() {
    const std::string where = " in record " + std::to_string(run_.recordNumber + 1) + " of " + run_.source;
    if (name_.size() > kMaxXmlTagBytes)
        run_.refuse("a tag" + where + " is longer than " + limitText(kMaxXmlTagBytes));
    else if (text_.size() > kMaxXmlTextBytes)
        run_.refuse("the text of element " + std::string(elementName_.substr(0, 64)) + where +
                    " is longer than " + limitText(kMaxXmlTextBytes));
    else
        return true;
    std::string().swap(name_);
    std::string().swap(text_);
    elementText_ = {};
    return false;
}

}  // namespace brolvin
