// A small typed writer of SVG (and the XML around it). Every attribute has a
// helper that takes exactly what the attribute holds: coordinates and
// lengths take a floating-point number, colours a Colour, path data a Path,
// names and texts a string. None accepts a char or an integer, so a space
// meant as a separator can never be written as a number again.
#pragma once

#include <concepts>
#include <string>
#include <string_view>

namespace zt::replay::svg {

// A coordinate or length as the file writes it: at most two decimals, no
// trailing zeros, never "-0".
std::string Number(double v);

// Text with &, <, > and " escaped, for element content and attribute values.
std::string Escape(std::string_view text);

// An sRGB colour as "#rrggbb".
struct Colour {
    unsigned char r = 0, g = 0, b = 0;
    static constexpr Colour Hex(unsigned rgb) {
        return {static_cast<unsigned char>(rgb >> 16), static_cast<unsigned char>(rgb >> 8),
                static_cast<unsigned char>(rgb)};
    }
    std::string Text() const;
    friend bool operator==(const Colour&, const Colour&) = default;
};

// Path data built command by command.
class Path {
public:
    template <std::floating_point X, std::floating_point Y>
    Path& Move(X x, Y y) { return Command('M', x, y); }
    template <std::floating_point X, std::floating_point Y>
    Path& Line(X x, Y y) { return Command('L', x, y); }
    template <std::floating_point X>
    Path& Horizontal(X x) { return Command('H', x); }
    template <std::floating_point Y>
    Path& Vertical(Y y) { return Command('V', y); }
    template <std::floating_point X>
    Path& RelativeHorizontal(X dx) { return Command('h', dx); }
    template <std::floating_point Y>
    Path& RelativeVertical(Y dy) { return Command('v', dy); }
    Path& Close() {
        d_ += 'Z';
        return *this;
    }
    bool Empty() const { return d_.empty(); }
    const std::string& Data() const { return d_; }

private:
    Path& Command(char c, double a);
    Path& Command(char c, double a, double b);
    std::string d_;
};

enum class Anchor { Start, Middle, End };

// One element at a time: Open writes "<name", the attribute helpers add to
// it, then Empty ends it as "<name .../>", Text as "<name ...>text</name>",
// and Children as "<name ...>" to be ended by End.
class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    Writer& Open(std::string_view element);
    void Empty();
    void Text(std::string_view text);
    void Children();
    void End(std::string_view element);

    template <std::floating_point T>
    Writer& Length(std::string_view attribute, T v) { return Raw(attribute, Number(static_cast<double>(v))); }
    template <std::floating_point T>
    Writer& ViewBox(T x, T y, T width, T height) {
        return Raw("viewBox", Number(x) + " " + Number(y) + " " + Number(width) + " " + Number(height));
    }
    Writer& Fill(Colour c) { return Raw("fill", c.Text()); }
    Writer& Stroke(Colour c) { return Raw("stroke", c.Text()); }
    Writer& NoFill() { return Raw("fill", "none"); }
    Writer& D(const Path& p) { return Raw("d", p.Data()); }
    Writer& TextAnchor(Anchor a);
    // Names, classes, ids, font families, dash patterns and data-* values:
    // text, escaped.
    Writer& Attribute(std::string_view attribute, std::string_view text) { return Raw(attribute, Escape(text)); }
    template <std::integral T>
        requires(!std::same_as<T, char> && !std::same_as<T, bool>)
    Writer& Integer(std::string_view attribute, T v) {
        return Raw(attribute, std::to_string(v));
    }

    // Text written as it stands: the XML declaration, a comment, a script.
    void Verbatim(std::string_view text) { out_.append(text); }

private:
    Writer& Raw(std::string_view attribute, std::string_view value);
    std::string& out_;
    std::string element_;  // the element Open began
};

}  // namespace zt::replay::svg
