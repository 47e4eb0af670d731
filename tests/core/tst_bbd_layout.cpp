#include <QTemporaryDir>
#include <QTest>

#include "core/bbd_layout.h"
#include "core/code_page.h"
#include "core/default_template.h"
#include "core/save_image.h"
#include "tests/support/golden_files.h"

using namespace plimbrook;
using namespace plimbrook::testing;

namespace {

QByteArray toBytes(const auto& block) {
    return QByteArray(reinterpret_cast<const char*>(block.data()), qsizetype(block.size()));
}

QByteArray utf8(const std::string& text) {
    return QByteArray::fromStdString(text);
}

}  // namespace

class TestBbdLayout : public QObject {
    Q_OBJECT

private slots:
    void writtenFileIsGolden_data();
    void writtenFileIsGolden();
    void commentIsFitted_data();
    void commentIsFitted();
    void encodeComment_data();
    void encodeComment();
    void codePageRows_data();
    void codePageRows();
    void everyByteRoundTrips();
    void exactly256CodePointsAreStorable();
    void copyImageOf_data();
    void copyImageOf();
    void headerOfTemplate_data();
    void headerOfTemplate();
    void commentOfShortHeader();
    void installedTemplate();
};

namespace {

std::span<const std::uint8_t> span(const QByteArray& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())};
}

}  // namespace

void TestBbdLayout::writtenFileIsGolden_data() {
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("comment");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("ascii_comment")
        << noise(kHeader, 1) << noise(kSram, 2) << QByteArray("Hello") << commentField("Hello");
    QTest::newRow("empty_comment_zero_image")
        << noise(kHeader, 3) << zeros(kSram) << QByteArray() << commentField({});
    QTest::newRow("windows_1252_comment")
        << noise(kHeader, 4) << noise(kSram, 5) << QByteArray("Café ½ €")
        << commentField("Caf\xE9 \xBD \x80");
}

void TestBbdLayout::writtenFileIsGolden() {
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, comment);
    QFETCH(QByteArray, stored);

    HeaderTemplate headerBlock{};
    std::copy(header.begin(), header.end(), headerBlock.begin());
    const auto body = imageOfSave(span(image));
    QVERIFY(body);

    const auto written = bbdFileBytes(withComment(headerBlock, comment.toStdString()), body->body);
    QCOMPARE(toBytes(written), bbdBytes(header, stored, image));
}

// What a comment reads back as once stored: 77 characters, counted as code points.
void TestBbdLayout::commentIsFitted_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("fitted");

    const QByteArray e = "\xC3\xA9";  // é: two bytes, one character
    QTest::newRow("empty") << QByteArray() << QByteArray(77, ' ');
    QTest::newRow("short_padded") << QByteArray("abc") << QByteArray("abc").leftJustified(77, ' ');
    QTest::newRow("exactly_77") << QByteArray(77, 'x') << QByteArray(77, 'x');
    QTest::newRow("78_loses_last") << QByteArray(77, 'x') + 'y' << QByteArray(77, 'x');
    QTest::newRow("trailing_spaces_kept") << QByteArray(77, ' ') << QByteArray(77, ' ');
    QTest::newRow("one_accent_pads_76") << e << e + QByteArray(76, ' ');
    QTest::newRow("77_accents_kept") << e.repeated(77) << e.repeated(77);
    QTest::newRow("78_accents_cut") << e.repeated(78) << e.repeated(77);
    // The code page has no emoji: it is stored as a question mark, but still counts as one.
    QTest::newRow("astral_counts_one")
        << QByteArray(76, 'x') + utf8Of(U"\U0001F600") + 'y' << QByteArray(76, 'x') + '?';
}

void TestBbdLayout::commentIsFitted() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, fitted);
    QCOMPARE(utf8(plimbrook::decodeComment(plimbrook::encodeComment(text.toStdString()))), fitted);
}

void TestBbdLayout::encodeComment_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("default_comment")
        << QByteArray("Enter a Comment and stuff.")
        << QByteArray("Enter a Comment and stuff.") + QByteArray(51, ' ');
    QTest::newRow("latin_1_range") << utf8Of(U"\u00A0\u00E9\u00FF") << commentField("\xA0\xE9\xFF");
    QTest::newRow("windows_1252_extras")
        << utf8Of(U"\u20AC\u201A\u0192\u2026\u0160\u017D\u2018\u2122\u0153\u0178")
        << commentField("\x80\x82\x83\x85\x8A\x8E\x91\x99\x9C\x9F");
    QTest::newRow("undefined_bytes_as_c1")
        << utf8Of(U"\u0081\u008D\u008F\u0090\u009D") << commentField("\x81\x8D\x8F\x90\x9D");
    QTest::newRow("unmappable_cjk") << QByteArray("日本語 ok") << commentField("??? ok");
    QTest::newRow("unmappable_neighbours")
        << utf8Of(U"\u0080\u0100\u0154\u20AD\U0001F600") << commentField("?????");
    QTest::newRow("malformed_utf8") << QByteArray(
                                           "a\xFF"
                                           "b\xC3")
                                    << commentField("a?b?");
    // Each malformed sequence, however long, is one '?', and decoding goes on at the first byte
    // that is not part of it; an overlong form never yields the character it spells.
    QTest::newRow("overlong_slash_in_two_bytes") << QByteArray(
                                                        "a\xC0\xAF"
                                                        "b")
                                                 << commentField("a?b");
    QTest::newRow("overlong_slash_in_three_bytes") << QByteArray(
                                                          "a\xE0\x80\xAF"
                                                          "b")
                                                   << commentField("a?b");
    QTest::newRow("overlong_slash_in_four_bytes") << QByteArray(
                                                         "a\xF0\x80\x80\xAF"
                                                         "b")
                                                  << commentField("a?b");
    QTest::newRow("truncated_before_a_letter") << QByteArray(
                                                      "a\xE2\x82"
                                                      "b")
                                               << commentField("a?b");
    QTest::newRow("truncated_before_a_lead_byte")
        << QByteArray("a\xF0\x9F\x98\xC3\xA9") << commentField("a?\xE9");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80!") << commentField("?!");
    QTest::newRow("beyond_unicode") << QByteArray("\xF4\x90\x80\x80!") << commentField("?!");
    QTest::newRow("lone_continuation_bytes") << QByteArray("\x80\xBFz") << commentField("??z");
    QTest::newRow("cut_counts_characters")
        << QByteArray(76, 'x') + utf8Of(U"\u00E9\u20AC") << QByteArray(76, 'x') + '\xE9';
}

void TestBbdLayout::encodeComment() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, stored);
    QCOMPARE(toBytes(plimbrook::encodeComment(text.toStdString())), stored);
}

void TestBbdLayout::codePageRows_data() {
    QTest::addColumn<int>("byte");
    QTest::addColumn<uint>("codePoint");

    const QList<QPair<int, uint>> rows = {
        {0x00, 0x0000}, {0x20, 0x0020}, {0x41, 0x0041}, {0x7F, 0x007F}, {0x80, 0x20AC},
        {0x81, 0x0081}, {0x8A, 0x0160}, {0x8C, 0x0152}, {0x8D, 0x008D}, {0x8E, 0x017D},
        {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018}, {0x96, 0x2013}, {0x99, 0x2122},
        {0x9D, 0x009D}, {0x9E, 0x017E}, {0x9F, 0x0178}, {0xA0, 0x00A0}, {0xE9, 0x00E9},
        {0xFF, 0x00FF},
    };
    for (const auto& [byte, codePoint] : rows) {
        QTest::addRow("byte_%02X", byte) << byte << codePoint;
    }
}

void TestBbdLayout::codePageRows() {
    QFETCH(int, byte);
    QFETCH(uint, codePoint);
    QCOMPARE(uint(code_page::fromWindows1252(static_cast<unsigned char>(byte))), codePoint);
    QCOMPARE(int(code_page::toWindows1252(codePoint)), byte);
}

void TestBbdLayout::everyByteRoundTrips() {
    // All 256 bytes in 77-byte comments, each read as text and stored again.
    for (int first = 0; first < 256; first += kCommentBytes) {
        CommentBytes block;
        for (int i = 0; i < kCommentBytes; ++i) {
            block[i] = static_cast<std::uint8_t>(first + i < 256 ? first + i : ' ');
        }
        const std::string text = decodeComment(block);
        QCOMPARE(code_page::decodeUtf8(text).size(), std::size_t(kCommentBytes));
        QCOMPARE(toBytes(plimbrook::encodeComment(text)), toBytes(block));
    }
}

void TestBbdLayout::exactly256CodePointsAreStorable() {
    // Whatever is not one of the 256 characters of the code page must become '?', and no two
    // characters may share a byte.
    int storable = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const unsigned char byte = code_page::toWindows1252(c);
        if (byte != '?' || c == U'?') {
            ++storable;
            QCOMPARE(uint(code_page::fromWindows1252(byte)), uint(c));
        }
    }
    QCOMPARE(storable, 256);
}

void TestBbdLayout::copyImageOf_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<QByteArray>("image");

    QTest::newRow("empty") << QByteArray() << zeros(kSram);
    QTest::newRow("one_byte") << QByteArray("\x7F") << QByteArray("\x7F") + zeros(kSram - 1);
    for (const int kib : {1, 2, 4}) {
        const QByteArray save = noise(kib * 1024, kib);
        QTest::addRow("mirrored_%dk", kib) << save << save.repeated(8 / kib);
    }
    for (const int size : {1023, 1025, 3 * 1024, 4095, 4097, 6 * 1024, kSram - 1}) {
        const QByteArray save = noise(size, size);
        QTest::addRow("zero_filled_%d", size) << save << save + zeros(kSram - size);
    }
    QTest::newRow("exact_8k") << noise(kSram, 8) << noise(kSram, 8);
    QTest::newRow("32k_first_8k") << noise(kSram, 9) + noise(3 * kSram, 10) << noise(kSram, 9);
}

void TestBbdLayout::copyImageOf() {
    QFETCH(QByteArray, save);
    QFETCH(QByteArray, image);
    QCOMPARE(toBytes(plimbrook::copyImageOf(span(save))), image);
}

// The header a template gives, and whether the copier would take the files made with it.
void TestBbdLayout::headerOfTemplate_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("fault");

    const QByteArray bytes = noise(600, 30);
    QByteArray marked = bytes;
    marked.replace(8, 3, "\xAA\xBB\x05");
    const int none = int(TemplateFault::None);
    const int tooShort = int(TemplateFault::TooShort);
    const int noMark = int(TemplateFault::NoSramMark);
    QTest::newRow("empty") << QByteArray() << zeros(kHeader) << tooShort;
    QTest::newRow("short_100") << bytes.left(100) << bytes.left(100) + zeros(kHeader - 100)
                               << tooShort;
    QTest::newRow("short_511") << marked.left(511) << marked.left(511) + zeros(1) << tooShort;
    QTest::newRow("exact_512_marked") << marked.left(512) << marked.left(512) << none;
    QTest::newRow("exact_512_unmarked") << bytes.left(512) << bytes.left(512) << noMark;
    QTest::newRow("type_byte_not_sram")
        << QByteArray(marked.left(512)).replace(10, 1, "\x06")
        << QByteArray(marked.left(512)).replace(10, 1, "\x06") << noMark;
    QTest::newRow("longer_600") << marked << marked.left(512) << none;
}

void TestBbdLayout::headerOfTemplate() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, header);
    QFETCH(int, fault);
    QCOMPARE(toBytes(headerOf(span(file))), header);
    QCOMPARE(int(checkTemplate(span(file))), fault);
}

void TestBbdLayout::commentOfShortHeader() {
    // Bytes 16..39 exist; the rest of the field reads as zero bytes.
    const QByteArray header = QByteArray(16, 'H') + "abcdefghijklmnopqrstuvwx";
    QCOMPARE(utf8(commentOfHeader(span(header))),
             QByteArray("abcdefghijklmnopqrstuvwx") + zeros(53));
}

void TestBbdLayout::installedTemplate() {
    QByteArray expected = zeros(kHeader);
    expected[8] = '\xAA';
    expected[9] = '\xBB';
    expected[10] = '\x05';
    QCOMPARE(readFile(QStringLiteral(PLIMBROOK_TEMPLATE_PATH)), expected);
    QCOMPARE(toBytes(defaultHeaderTemplate()), expected);
}

QTEST_GUILESS_MAIN(TestBbdLayout)
#include "tst_bbd_layout.moc"
