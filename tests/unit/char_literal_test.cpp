// Character values as quoted literals that neither end early nor hand part
// of a value to the script client.
#include "vrndll/sql/CharLiteral.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>

using namespace values;

namespace {

std::string Quoted(const std::string &value) {
    std::string out;
    AppendQuotedChars(out, reinterpret_cast<const uint8_t *>(value.data()), value.size());
    return out;
}

// Reads a literal the way the server does: quoted pieces joined by '+', a
// doubled quote inside a piece standing for one quote, a backslash before a
// line break inside a piece a line continuation (both dropped). Fails
// unless the whole text is one such expression.
bool ReadLiteral(const std::string &text, std::string &value) {
    value.clear();
    size_t i = 0;
    for (;;) {
        if (i >= text.size() || text[i] != '\'') return false;
        ++i;
        for (;;) {
            if (i >= text.size()) return false;
            if (text[i] == '\'') {
                if (i + 1 < text.size() && text[i + 1] == '\'') {
                    value.push_back('\'');
                    i += 2;
                    continue;
                }
                ++i;
                break;
            }
            if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\n') {
                i += 2;
                continue;
            }
            if (text.compare(i, 3, "\\\r\n") == 0) {
                i += 3;
                continue;
            }
            value.push_back(text[i++]);
        }
        if (i == text.size()) return true;
        if (text[i] != '+') return false;
        ++i;
    }
}

// A line of the script the client would act on instead of passing it on.
bool HasClientCommandLine(const std::string &text) {
    static const char *const commands[] = {"go", "reset", "quit", "exit", "vi", "!!", ":r"};
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        size_t j = i + 1;
        while (j < text.size() && (text[j] == ' ' || text[j] == '\t' || text[j] == '\v' ||
                                   text[j] == '\f'))
            ++j;
        for (const char *command : commands) {
            size_t k = 0;
            while (command[k] && j + k < text.size() &&
                   std::tolower(static_cast<unsigned char>(text[j + k])) == command[k])
                ++k;
            if (!command[k]) return true;
        }
    }
    return false;
}

} // namespace

TEST(CharLiteral, PlainValuesAreQuotedAsTheyStand) {
    EXPECT_EQ(Quoted("abc"), "'abc'");
    EXPECT_EQ(Quoted(""), "''");
    EXPECT_EQ(Quoted("two\nlines\r\nhere"), "'two\nlines\r\nhere'");
    EXPECT_EQ(Quoted("\ngxyz\n ever"), "'\ngxyz\n ever'"); // near misses stay whole
    EXPECT_EQ(Quoted(std::string("a\0b'\0", 5)), "'a'+char(0)+'b'''+char(0)+''"); // NUL bytes spelled out
}

TEST(CharLiteral, QuotesAreDoubled) {
    EXPECT_EQ(Quoted("O'Brien"), "'O''Brien'");
    EXPECT_EQ(Quoted("'"), "''''");
    EXPECT_EQ(Quoted("x'); DROP TABLE t; --"), "'x''); DROP TABLE t; --'");
}

TEST(CharLiteral, ClientCommandLinesAreSplitOff) {
    EXPECT_EQ(Quoted("a\ngo\nb"), "'a\n'+'go\nb'");
    EXPECT_EQ(Quoted("a\n  GO"), "'a\n  '+'GO'");
    EXPECT_EQ(Quoted("a\r\nquit"), "'a\r\n'+'quit'");
    EXPECT_EQ(Quoted("x\n!!del *.*"), "'x\n'+'!!del *.*'");
    EXPECT_EQ(Quoted("x\n:r secret"), "'x\n'+':r secret'");
    EXPECT_EQ(Quoted("x\ngoing"), "'x\n'+'going'"); // a prefix is enough
    EXPECT_EQ(Quoted("x\ng"), "'x\ng'");            // held back, then written at the end
    EXPECT_EQ(Quoted("x\nre'set"), "'x\nre''set'");
    EXPECT_EQ(Quoted("x\ng\ngo"), "'x\ng\n'+'go'");
}

TEST(CharLiteral, BackslashBeforeALineBreakEndsAPiece) {
    // The line break starts the next piece, so no piece holds a backslash
    // followed by a line break; every other byte stays where it was.
    EXPECT_EQ(Quoted("C:\\dir\\\nnext"), "'C:\\dir\\'+'\nnext'");
    EXPECT_EQ(Quoted("a\\\r\nb"), "'a\\'+'\r\nb'");
    EXPECT_EQ(Quoted("\\\n"), "'\\'+'\n'");
    EXPECT_EQ(Quoted("a\\\\\n\\\ngo"), "'a\\\\'+'\n\\'+'\n'+'go'"); // with a command line after it
    EXPECT_EQ(Quoted("a\\ \nb\\"), "'a\\ \nb\\'");                 // not right before the break: unchanged
    EXPECT_EQ(Quoted("'\\\n'"), "'''\\'+'\n'''");
}

TEST(CharLiteral, PiecesJoinAsOneValue) {
    const std::string value = "first 'page'\\\n  g";
    const std::string rest = "o on\nreset\nlast";
    std::string whole = Quoted(value + rest);
    for (size_t cut = 0; cut <= value.size() + rest.size(); ++cut) {
        std::string all = value + rest;
        std::string out;
        CharLiteralWriter literal(out);
        literal.Begin();
        literal.Append(reinterpret_cast<const uint8_t *>(all.data()), cut);
        literal.Append(reinterpret_cast<const uint8_t *>(all.data()) + cut, all.size() - cut);
        literal.End();
        EXPECT_EQ(out, whole) << "cut at " << cut;
    }
}

TEST(CharLiteral, AnyValueReadsBackWholeAndHidesNoCommand) {
    // Values made of the characters that matter: quotes, line breaks,
    // blanks, backslashes and the letters of the client commands.
    const char alphabet[] = "'\n\r \tgoGOresqQuitxv!:aZ+\\";
    std::mt19937 random(99);
    for (int i = 0; i < 20000; ++i) {
        std::string value(random() % 24, ' ');
        for (char &c : value) c = alphabet[random() % (sizeof alphabet - 1)];
        std::string text = Quoted(value);
        std::string back;
        ASSERT_TRUE(ReadLiteral(text, back)) << text;
        ASSERT_EQ(back, value);
        ASSERT_FALSE(HasClientCommandLine(text)) << text;
    }
}
