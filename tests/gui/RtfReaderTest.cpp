#include "reportdoc/RtfReader.h"
#include "gui/RtfView.h"
#include "textcodec/Cp1252.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kHeader =
    "{\\rtf{\\colortbl\\red0\\green0\\blue0;\\red150\\green150\\blue255;\\red0\\green255\\blue255;"
    "\\red0\\green255\\blue0;\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255"
    "\\blue0;\\red255\\green255\\blue255;\\red0\\green0\\blue128;\\red0\\green128\\blue128;\\red0"
    "\\green128\\blue0;\\red128\\green0\\blue128;\\red128\\green0\\blue0;\\red128\\green128\\blue0;"
    "}"
    "{\\fonttbl{\\f1\\froman\\fcharset2\\fprq2 Symbol;}{\\f2\\fmodern Courier New;}}{\\f2 \\fs20 ";

struct Run {
    QString text;
    QTextCharFormat format;
};

std::vector<Run> Runs(const QTextDocument& doc) {
    std::vector<Run> runs;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            runs.push_back({it.fragment().text(), it.fragment().charFormat()});
        }
    }
    return runs;
}

QString Plain(const std::string& rtf) {
    QTextDocument doc;
    ReadRtfIntoDocument(rtf, doc);
    return doc.toPlainText();
}

} // namespace

TEST(RtfReader, ReportHeaderShowsOnlyTheBodyText) {
    EXPECT_EQ(Plain(kHeader + "Monday 05 Dec 2022 \\par Switched on.\\par }}"),
              QString("Monday 05 Dec 2022 \nSwitched on.\n"));
}

TEST(RtfReader, ParagraphsBecomeBlocks) {
    QTextDocument doc;
    ReadRtfIntoDocument(kHeader + "a\\par b\\par c}}", doc);
    EXPECT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(doc.findBlockByNumber(1).text(), QString("b"));
}

TEST(RtfReader, ControlWordSwallowsOneBlankOnly) {
    // Reading lines are laid out in columns by blanks: only the delimiter blank goes.
    EXPECT_EQ(Plain(kHeader + "\\par   2.5    30}}"), QString("\n  2.5    30"));
}

TEST(RtfReader, AlarmTimeMarkIsRedOnYellow) {
    QTextDocument doc;
    ReadRtfIntoDocument(kHeader + "{\\cf5 \\highlight6 10:11:12} A     2.5}}", doc);
    const auto runs = Runs(doc);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, QString("10:11:12"));
    EXPECT_EQ(runs[0].format.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(runs[0].format.background().color(), QColor(255, 255, 0));
    EXPECT_EQ(runs[1].text, QString(" A     2.5"));
    EXPECT_EQ(runs[1].format.background().style(), Qt::NoBrush);
    EXPECT_NE(runs[1].format.foreground().color(), QColor(255, 0, 0));
}

TEST(RtfReader, FontSizeInHalfPointsAndFixedPitch) {
    QTextDocument doc;
    ReadRtfIntoDocument(kHeader + "x{\\fs30 y}}}", doc);
    const auto runs = Runs(doc);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_DOUBLE_EQ(runs[0].format.font().pointSizeF(), 10.0);
    EXPECT_DOUBLE_EQ(runs[1].format.font().pointSizeF(), 15.0);
    EXPECT_TRUE(runs[0].format.font().fixedPitch());
    EXPECT_EQ(runs[0].format.font().styleHint(), QFont::TypeWriter);
}

struct EscapeCase {
    std::string rtf;
    QString shown;
};

class RtfEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(RtfEscapes, Decode) {
    EXPECT_EQ(Plain(GetParam().rtf), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    All, RtfEscapes,
    ::testing::Values(EscapeCase{"{a\\\\b}", "a\\b"}, EscapeCase{"{\\{x\\}}", "{x}"},
                      EscapeCase{"{\\'e9t\\'e9}", QString::fromUtf8("\xC3\xA9t\xC3\xA9")},
                      EscapeCase{"{\\'80}", QString::fromUtf8("\xE2\x82\xAC")},
                      EscapeCase{"{\\'B0C}", QString::fromUtf8("\xC2\xB0") + "C"},
                      EscapeCase{"{raw \xE9\xEA}", QString::fromUtf8("raw \xC3\xA9\xC3\xAA")},
                      EscapeCase{"{\x93q\x94}", QString::fromUtf8("\xE2\x80\x9Cq\xE2\x80\x9D")},
                      EscapeCase{"{50%}", "50%"}, EscapeCase{"{a\r\nb}", "ab"},
                      EscapeCase{"{\\unknownword12 z}", "z"},
                      EscapeCase{"{\\*\\generator junk;}keep", "keep"}));

TEST(RtfReader, Cp1252Table) {
    EXPECT_EQ(Cp1252ToUnicode(0x41), U'A');
    EXPECT_EQ(Cp1252ToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(Cp1252ToUnicode(0x99), U'\u2122');
    EXPECT_EQ(Cp1252ToUnicode(0x81), U'\u0081');
    EXPECT_EQ(Cp1252ToUnicode(0xA0), U'\u00A0');
    EXPECT_EQ(Cp1252ToUnicode(0xFF), U'\u00FF');
}

TEST(RtfReader, MalformedInputNeverFails) {
    const std::vector<std::string> bad = {
        "",
        "}}}}",
        "{{{{",
        "\\",
        "{\\'",
        "{\\'4",
        "{\\'zz}",
        "{\\cf99999999999999 red?}",
        "{\\highlight-5 x}",
        "{\\fs0 x}{\\fs-20 y}{\\fs99999999 z}",
        "{\\colortbl\\red300;}{\\cf0 x}",
        std::string(5000, '{') + "deep" + std::string(5000, '}'),
        std::string("{a\0b}", 5),
        "{\\f2 text without end",
    };
    for (const std::string& rtf : bad) {
        QTextDocument doc;
        ReadRtfIntoDocument(rtf, doc);
        SUCCEED();
    }
    EXPECT_EQ(Plain("{\\colortbl\\red300;}{\\cf0 x}"), QString("x"));
    EXPECT_EQ(Plain(std::string(5000, '{') + "deep" + std::string(5000, '}')), QString("deep"));
    EXPECT_EQ(Plain("{\\'zz}"), QString("zz"));
}

TEST(RtfView, KeepsTheRtfApartFromWhatItShows) {
    RtfView view;
    const std::string rtf = kHeader + "Switched on.\\par }}";
    view.SetRtf(rtf);
    EXPECT_EQ(view.Rtf(), rtf);
    EXPECT_EQ(view.toPlainText(), QString("Switched on.\n"));
    EXPECT_TRUE(view.isReadOnly());
    view.SetRtf("");
    EXPECT_EQ(view.toPlainText(), QString());
}
