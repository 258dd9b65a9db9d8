#pragma once

// Reads XML text with TinyXML, the parser the plug-in itself uses, and sums up what it holds.
// Header-only so that the host tests, which do not link the plug-in, can use it too.

#include <string>

#include <tinyxml.h>

namespace XmlOutlineDetail {

inline void outline(const TiXmlNode* parent, std::string& out)
{
    for (const TiXmlNode* n = parent->FirstChild(); n; n = n->NextSibling()) {
        if (!out.empty() && out.back() != '(')
            out += ' ';
        if (n->ToElement()) {
            out += n->Value();
            if (n->FirstChild()) {
                out += '(';
                outline(n, out);
                out += ')';
            }
        } else if (n->ToComment()) {
            out += "#comment";
        } else {
            out += "#text";  // text (or anything else) between elements
        }
    }
}

}  // namespace XmlOutlineDetail

// Reads text as the content of one element. Returns "error: " and TinyXML's complaint when it is
// not well-formed; otherwise its top-level nodes, blank-separated: element names with their
// children in brackets, "#comment" for comments and "#text" for text outside any element.
// Example: "<!-- x -->\n<a><b/><b/></a>" gives "#comment a(b b)".
inline std::string xmlOutline(const std::string& text)
{
    TiXmlDocument doc;
    doc.Parse(("<outline>" + text + "</outline>").c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (doc.Error())
        return std::string("error: ") + doc.ErrorDesc() + " at row " + std::to_string(doc.ErrorRow());
    const TiXmlElement* root = doc.RootElement();
    if (!root || root->NextSibling())
        return "error: text after the content";
    std::string out;
    XmlOutlineDetail::outline(root, out);
    return out;
}
