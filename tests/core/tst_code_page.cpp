#include <QStringList>
#include <QTest>

#include <string_view>

#include "core/code_page.h"

namespace {

// Code points as "U+0041 U+FFFD", so that a failing row shows where it went wrong.
QString spelled(std::u32string_view text) {
    QStringList points;
    for (const char32_t cp : text) {
        points << QStringLiteral("U+%1").arg(uint(cp), 4, 16, QLatin1Char('0')).toUpper();
    }
    return points.join(' ');
}

struct Row {
    const char* name;
    std::string_view utf8;
    std::u32string_view decoded;
};

// One U+FFFD, which the comment stores as '?', for each malformed sequence: a byte that cannot
// start one, or a lead byte with the continuation bytes that follow it, up to its length.
// Decoding goes on at the first byte that is not part of the broken sequence.
constexpr Row kRows[] = {
    // Well-formed text at the edges of each length, beside the malformed rows.
    {"ascii", "A/z", U"A/z"},
    {"two_bytes_lowest", "\xC2\x80", U"\u0080"},
    {"two_bytes_highest", "\xDF\xBF", U"\u07FF"},
    {"three_bytes_lowest", "\xE0\xA0\x80", U"\u0800"},
    {"just_below_surrogates", "\xED\x9F\xBF", U"\uD7FF"},
    {"just_above_surrogates", "\xEE\x80\x80", U"\uE000"},
    {"three_bytes_highest", "\xEF\xBF\xBF", U"\uFFFF"},
    {"four_bytes_lowest", "\xF0\x90\x80\x80", U"\U00010000"},
    {"highest_code_point", "\xF4\x8F\xBF\xBF", U"\U0010FFFF"},

    // Overlong forms never turn into the character they spell.
    {"overlong_nul", "\xC0\x80", U"\uFFFD"},
    {"overlong_A", "x\xC1\x81y", U"x\uFFFDy"},
    {"overlong_slash_in_two", "\xC0\xAF", U"\uFFFD"},
    {"overlong_slash_in_three", "\xE0\x80\xAF", U"\uFFFD"},
    {"overlong_07FF_in_three", "\xE0\x9F\xBF", U"\uFFFD"},
    {"overlong_slash_in_four", "\xF0\x80\x80\xAF", U"\uFFFD"},
    {"overlong_FFFF_in_four", "\xF0\x8F\xBF\xBF", U"\uFFFD"},

    // UTF-16 surrogates are not characters, alone or in pairs.
    {"surrogate_D800", "\xED\xA0\x80", U"\uFFFD"},
    {"surrogate_DBFF", "\xED\xAF\xBF", U"\uFFFD"},
    {"surrogate_DC00", "\xED\xB0\x80", U"\uFFFD"},
    {"surrogate_DFFF", "a\xED\xBF\xBFz", U"a\uFFFDz"},
    {"surrogate_pair", "\xED\xA0\xBD\xED\xB8\x80", U"\uFFFD\uFFFD"},

    // Past U+10FFFF: a lead byte of F4 to F7 takes its three continuation bytes with it.
    {"just_past_10FFFF", "\xF4\x90\x80\x80", U"\uFFFD"},
    {"lead_F5", "\xF5\x80\x80\x80!", U"\uFFFD!"},
    {"lead_F7_highest", "\xF7\xBF\xBF\xBF", U"\uFFFD"},
    // F8 to FF start nothing, so each byte after them stands alone.
    {"five_byte_form_F8", "\xF8\x88\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"six_byte_form_FC", "\xFC\x84\x80\x80\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    {"bytes_FE_FF", "a\xFE\xFFz", U"a\uFFFD\uFFFDz"},

    // Cut short, at the end or before the next character.
    {"two_cut_at_end", "a\xC3", U"a\uFFFD"},
    {"three_cut_at_end", "a\xE2\x82", U"a\uFFFD"},
    {"four_cut_at_end", "a\xF0\x9F\x98", U"a\uFFFD"},
    {"three_cut_before_letter", "\xE2\x82z", U"\uFFFDz"},
    {"four_cut_before_lead", "\xF0\x9F\x98\xC3\xA9", U"\uFFFD\u00E9"},
    {"lead_before_lead", "\xC3\xC3\xA9", U"\uFFFD\u00E9"},

    // Continuation bytes with no lead byte.
    {"lone_80", "\x80", U"\uFFFD"},
    {"two_strays", "\x80\xBFz", U"\uFFFD\uFFFDz"},
    {"one_too_many", "\xC3\xA9\xA9", U"\u00E9\uFFFD"},
};

}  // namespace

class TestCodePage : public QObject {
    Q_OBJECT

private slots:
    void decodeUtf8_data();
    void decodeUtf8();
};

void TestCodePage::decodeUtf8_data() {
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QString>("decoded");
    for (const Row& row : kRows) {
        QTest::newRow(row.name) << QByteArray(row.utf8.data(), qsizetype(row.utf8.size()))
                                << spelled(row.decoded);
    }
}

void TestCodePage::decodeUtf8() {
    QFETCH(QByteArray, utf8);
    QFETCH(QString, decoded);
    QCOMPARE(spelled(plimbrook::code_page::decodeUtf8(utf8.toStdString())), decoded);
}

QTEST_GUILESS_MAIN(TestCodePage)
#include "tst_code_page.moc"
