// The settings file's records, read from bytes in memory: whole files, and every way a file can
// be damaged. Whatever the bytes, nothing is read past their end, every text ends within its
// buffer, and no half-read value comes back as if it were whole.
#include <gtest/gtest.h>

#include <cstring>

#include "AppCoreTest.h"
#include "settings/SettingsTable.h"

namespace appcore {
namespace {

struct Decoded {
    SETTINGS_READ_RESULT result;
    DWORD flags;
};

// Decodes from a buffer of exactly the file's size, so that ASan sees any read past its end.
Decoded Decode(const Bytes& bytes, CSettings& settings) {
    std::unique_ptr<BYTE[]> exact(new BYTE[bytes.size() + 1]);
    if (!bytes.empty())
        memcpy(exact.get(), bytes.data(), bytes.size());
    Decoded d;
    d.result = DecodeSettingsFile(exact.get(), (DWORD)bytes.size(), &settings, &d.flags);
    return d;
}

std::u16string Text(LPCWSTR text) {
    return text ? std::u16string(text) : std::u16string(u"<null>");
}

TEST(SettingsFileRecords, TheTwentyTwoByteExampleReadsBack) {
    Bytes bytes = {0x05, 0x08, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x5C, 0x00, 0x54,
                   0x00, 0x65, 0x00, 0x6D, 0x00, 0x70, 0x00, 0x02, 0x00, 0x00, 0x00};
    CSettings settings;
    Decoded d = Decode(bytes, settings);
    EXPECT_EQ(d.result, SRR_WHOLE);
    EXPECT_EQ(d.flags, 0x00000805u);
    EXPECT_EQ(Text(settings.m_userDefined1Path), u"\\Temp");
    EXPECT_EQ(settings.m_ieCacheLimit, 2);
    EXPECT_EQ(settings.m_userDefined2Path, nullptr);
}

TEST(SettingsFileRecords, WritingLaysRecordsOutInFieldOrderNotBitOrder) {
    CSettings settings;
    settings.m_customExtension = new WCHAR[SETTINGS_TEXT_UNITS];
    settings.m_ieCacheTarget = new WCHAR[SETTINGS_TEXT_UNITS];
    memcpy(settings.m_customExtension, u"txt", 8);
    memcpy(settings.m_ieCacheTarget, u"\\C\\", 8);
    settings.m_fontCacheSize = 2;
    settings.m_ieCookieLimit = 7;  // its bit is clear: must not be written
    std::unique_ptr<BYTE[]> out(new BYTE[SETTINGS_FILE_MAX_BYTES]);
    DWORD size = EncodeSettingsFile(
        &settings, OPT_FILES_CUSTOM | OPT_MOVE_IE_CACHE | OPT_FONT_CACHE_SIZE, out.get());

    Bytes expected;
    PutDword(expected, OPT_FILES_CUSTOM | OPT_MOVE_IE_CACHE | OPT_FONT_CACHE_SIZE);
    PutText(expected, u"txt");
    PutText(expected, u"\\C\\");
    PutDword(expected, 2);
    EXPECT_EQ(Bytes(out.get(), out.get() + size), expected);
    // Written texts are taken out of the record.
    EXPECT_EQ(settings.m_customExtension, nullptr);
    EXPECT_EQ(settings.m_ieCacheTarget, nullptr);
}

TEST(SettingsFileRecords, LongestTextsFillTheLargestFile) {
    Bytes bytes;
    PutDword(bytes, 0x01FFFFFF);
    std::u16string longest(1023, u'x');
    for (int i = 0; i < 8; i++) PutText(bytes, longest);
    for (int i = 0; i < 4; i++) PutDword(bytes, (uint32_t)i);
    ASSERT_EQ(bytes.size(), 16420u);
    CSettings settings;
    Decoded d = Decode(bytes, settings);
    EXPECT_EQ(d.result, SRR_WHOLE);
    EXPECT_EQ(d.flags, 0x01FFFFFFu);
    EXPECT_EQ(Text(settings.m_myDocumentsTarget), longest);
    EXPECT_EQ(settings.m_fontCacheSize, 3);
}

TEST(SettingsFileDamage, EmptyFileHoldsNoOptions) {
    CSettings settings;
    Decoded d = Decode(Bytes(), settings);
    EXPECT_EQ(d.result, SRR_WHOLE);
    EXPECT_EQ(d.flags, 0u);
}

TEST(SettingsFileDamage, FileShorterThanItsFlagsWordIsRejected) {
    for (size_t size = 1; size < 4; size++) {
        CSettings settings;
        Decoded d = Decode(Bytes(size, 0x01), settings);
        EXPECT_EQ(d.result, SRR_REJECTED) << size;
        EXPECT_EQ(d.flags, 0u) << size;
    }
}

TEST(SettingsFileDamage, FlagsNamingNoOptionAreRejected) {
    Bytes bytes;
    PutDword(bytes, 0x80000004);
    CSettings settings;
    EXPECT_EQ(Decode(bytes, settings).result, SRR_REJECTED);
}

TEST(SettingsFileDamage, CutTextKeepsTheRecordsBeforeItAndDropsTheRest) {
    Bytes bytes;
    PutDword(bytes,
             OPT_CLEAN_USER_DIR1 | OPT_CLEAN_USER_DIR2 | OPT_CLEAN_TEMP | OPT_LIMIT_IE_CACHE);
    PutText(bytes, u"\\One\\");
    PutText(bytes, u"\\Two\\");
    bytes.resize(bytes.size() - 3);  // the second text loses its end
    CSettings settings;
    settings.m_ieCacheLimit = 1;
    Decoded d = Decode(bytes, settings);
    EXPECT_EQ(d.result, SRR_CUT);
    // The first text and the flag-only option survive; the cut text and the later limit do not.
    EXPECT_EQ(d.flags, (DWORD)(OPT_CLEAN_USER_DIR1 | OPT_CLEAN_TEMP));
    EXPECT_EQ(Text(settings.m_userDefined1Path), u"\\One\\");
    EXPECT_EQ(settings.m_userDefined2Path, nullptr);
    EXPECT_EQ(settings.m_ieCacheLimit, 1);
}

TEST(SettingsFileDamage, CountAboveTheBufferIsNotRead) {
    Bytes bytes;
    PutDword(bytes, OPT_CLEAN_USER_DIR1);
    PutDword(bytes, 1024);
    bytes.insert(bytes.end(), 2048, 0x41);  // the units are even there
    CSettings settings;
    Decoded d = Decode(bytes, settings);
    EXPECT_EQ(d.result, SRR_CUT);
    EXPECT_EQ(d.flags, 0u);
    EXPECT_EQ(settings.m_userDefined1Path, nullptr);
}

TEST(SettingsFileDamage, HugeCountDoesNotWrapTheSizeCheck) {
    Bytes bytes;
    PutDword(bytes, OPT_CLEAN_USER_DIR1);
    PutDword(bytes, 0x80000001);
    bytes.insert(bytes.end(), 8, 0x41);
    CSettings settings;
    EXPECT_EQ(Decode(bytes, settings).result, SRR_CUT);
    EXPECT_EQ(settings.m_userDefined1Path, nullptr);
}

TEST(SettingsFileDamage, CutIntegerIsNotRestored) {
    Bytes bytes;
    PutDword(bytes, OPT_LIMIT_IE_HISTORY | OPT_FONT_CACHE_SIZE);
    PutDword(bytes, 2);
    bytes.push_back(0x01);  // one byte of the slider position
    CSettings settings;
    Decoded d = Decode(bytes, settings);
    EXPECT_EQ(d.result, SRR_CUT);
    EXPECT_EQ(d.flags, (DWORD)OPT_LIMIT_IE_HISTORY);
    EXPECT_EQ(settings.m_ieHistoryLimit, 2);
    EXPECT_EQ(settings.m_fontCacheSize, 0);
}

TEST(SettingsFileDamage, BytesAfterTheLastRecordAreIgnored) {
    Bytes bytes;
    PutDword(bytes, OPT_FILES_CUSTOM);
    PutText(bytes, u"log");
    bytes.insert(bytes.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00});
    CSettings settings;
    Decoded d = Decode(bytes, settings);
    EXPECT_EQ(d.result, SRR_WHOLE);
    EXPECT_EQ(d.flags, (DWORD)OPT_FILES_CUSTOM);
    EXPECT_EQ(Text(settings.m_customExtension), u"log");
}

TEST(SettingsFileDamage, TextWithEmbeddedNulEndsWithinItsBuffer) {
    Bytes bytes;
    PutDword(bytes, OPT_MOVE_FONTS);
    PutText(bytes, std::u16string(u"\\A\0B", 4));
    CSettings settings;
    ASSERT_EQ(Decode(bytes, settings).result, SRR_WHOLE);
    EXPECT_EQ(Text(settings.m_fontsTarget), u"\\A");
}

}  // namespace
}  // namespace appcore
