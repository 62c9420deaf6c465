#include "replay/drawing/svg_writer.h"

#include <charconv>

namespace zt::replay::svg {

std::string Number(double v) {
    if (!(v == v) || v > 1e12 || v < -1e12) v = 0.0;  // never NaN or an absurd coordinate
    char buf[40];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    std::string s(buf, ec == std::errc{} ? end : buf);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Colour::Text() const {
    constexpr char kHex[] = "0123456789abcdef";
    return {'#', kHex[r >> 4], kHex[r & 15], kHex[g >> 4], kHex[g & 15], kHex[b >> 4], kHex[b & 15]};
}

Path& Path::Command(char c, double a) {
    d_ += c;
    d_ += Number(a);
    return *this;
}

Path& Path::Command(char c, double a, double b) {
    d_ += c;
    d_ += Number(a);
    d_ += ' ';
    d_ += Number(b);
    return *this;
}

Writer& Writer::Open(std::string_view element) {
    out_ += '<';
    out_.append(element);
    element_ = element;
    return *this;
}

void Writer::Empty() { out_ += "/>\n"; }

void Writer::Text(std::string_view text) {
    out_ += '>';
    out_ += Escape(text);
    out_ += "</";
    out_ += element_;
    out_ += ">\n";
}

void Writer::Children() { out_ += ">\n"; }

void Writer::End(std::string_view element) {
    out_ += "</";
    out_.append(element);
    out_ += ">\n";
}

Writer& Writer::TextAnchor(Anchor a) {
    return Raw("text-anchor", a == Anchor::Start ? "start" : a == Anchor::Middle ? "middle" : "end");
}

Writer& Writer::Raw(std::string_view attribute, std::string_view value) {
    out_ += ' ';
    out_.append(attribute);
    out_ += "=\"";
    out_.append(value);
    out_ += '"';
    return *this;
}

}  // namespace zt::replay::svg
