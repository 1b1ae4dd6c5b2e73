// DataBuffer: stepped growth, ownership moves, byte edits, padding and whole-file loading.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "base/DataBuffer.h"
#include "log/LogBase.h"

namespace {

std::string bytes(const DataBuffer& d) {
    return d.size() == 0 ? std::string() : std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

// Keeps what loadFile reports.
class LoadFileLog : public LogBase {
public:
    bool logError(const char* text) override {
        errors.push_back(text);
        return true;
    }
    bool logData(const char* key, const char* value) override {
        data[key] = value;
        return true;
    }
    bool logDataInt64(const char* key, std::int64_t value) override {
        data[key] = std::to_string(value);
        return true;
    }
    std::vector<std::string> errors;
    std::map<std::string, std::string> data;
};

}  // namespace

TEST(DataBuffer, AppendGrowsInStepsBySize) {
    struct Case {
        std::uint32_t size;
        std::uint32_t capacityAfterOneMore;
    };
    const Case cases[] = {
        {0, 20000},         {49999, 69999},      {50000, 100000},     {60000, 110000},
        {100000, 200000},   {1000000, 2000000},  {2000000, 4000000},  {3000000, 6000000},
        {4000000, 8000000}, {7999999, 11999999}, {8000000, 16000000}, {12000000, 24000000},
    };
    std::vector<std::uint8_t> block(12000000, 0x5A);
    for (const Case& c : cases) {
        DataBuffer d;
        ASSERT_TRUE(d.appendExact(block.data(), c.size));
        ASSERT_EQ(d.capacity(), c.size);
        ASSERT_TRUE(d.append("!", 1));
        EXPECT_EQ(d.capacity(), c.capacityAfterOneMore) << c.size;
        EXPECT_EQ(d.size(), c.size + 1);
        EXPECT_EQ(d.data()[c.size], '!');
    }
    DataBuffer wide;
    ASSERT_TRUE(wide.append(block.data(), 30000));  // more than the step: exactly what is needed
    EXPECT_EQ(wide.capacity(), 30000u);
}

TEST(DataBuffer, AppendByteAndUtf8UnitGrowByFixedSteps) {
    std::vector<std::uint8_t> block(60000, 1);
    DataBuffer d;
    d.appendExact(block.data(), 60000);
    ASSERT_TRUE(d.appendByte(7));
    EXPECT_EQ(d.capacity(), 70000u);
    DataBuffer u;
    u.appendExact(block.data(), 60000);
    EXPECT_EQ(u.appendUtf8Unit(0x20AC), 3);
    EXPECT_EQ(u.capacity(), 80000u);
}

TEST(DataBuffer, Utf8UnitEncodings) {
    struct Case {
        std::uint16_t unit;
        std::string utf8;
    };
    const Case cases[] = {
        {0x41, "A"},         {0x7F, "\x7F"},          {0x80, "\xC2\x80"},       {0xE9, "\xC3\xA9"},
        {0x7FF, "\xDF\xBF"}, {0x800, "\xE0\xA0\x80"}, {0x20AC, "\xE2\x82\xAC"}, {0xFFFF, "\xEF\xBF\xBF"},
    };
    for (const Case& c : cases) {
        DataBuffer d;
        EXPECT_EQ(d.appendUtf8Unit(c.unit), static_cast<int>(c.utf8.size()));
        EXPECT_EQ(bytes(d), c.utf8) << c.unit;
    }
}

TEST(DataBuffer, AppendsFromItselfSurviveGrowth) {
    DataBuffer d;
    d.appendExact("abcd", 4);
    for (int i = 0; i < 15; ++i) ASSERT_TRUE(d.append(d.data(), d.size()));
    EXPECT_EQ(d.size(), 4u << 15);
    EXPECT_EQ(std::memcmp(d.data() + d.size() - 4, "abcd", 4), 0);
    DataBuffer e;
    e.appendExact("xy", 2);
    ASSERT_TRUE(e.appendBuffer(e));
    ASSERT_TRUE(e.appendExact(e.data(), e.size()));
    EXPECT_EQ(bytes(e), "xyxyxyxy");
}

TEST(DataBuffer, EmptyInputsSucceedWithoutStorage) {
    DataBuffer d;
    EXPECT_TRUE(d.append(nullptr, 10));
    EXPECT_TRUE(d.append("x", 0));
    DataBuffer empty;
    EXPECT_TRUE(d.appendBuffer(empty));
    EXPECT_EQ(d.data(), nullptr);
    EXPECT_FALSE(d.ensureCapacity(0));
    EXPECT_TRUE(d.ensureCapacity(10));
    EXPECT_EQ(d.capacity(), 10u);
    EXPECT_TRUE(d.ensureCapacity(5));
    EXPECT_EQ(d.capacity(), 10u);
    DataBuffer zeroed(64);
    EXPECT_EQ(zeroed.size(), 0u);
    EXPECT_EQ(zeroed.capacity(), 64u);
    EXPECT_EQ(std::vector<std::uint8_t>(zeroed.data(), zeroed.data() + 64), std::vector<std::uint8_t>(64, 0));
}

TEST(DataBuffer, SizeEdits) {
    DataBuffer d;
    d.appendExact("0123456789", 10);
    d.ensureCapacity(100);
    d.shrink();
    EXPECT_EQ(d.capacity(), 14u);
    d.shrink();
    EXPECT_EQ(d.capacity(), 14u);
    d.setSize(12);
    EXPECT_EQ(d.size(), 12u);
    d.setSize(99);
    EXPECT_EQ(d.size(), 14u);
    d.dropLast(4);
    EXPECT_EQ(bytes(d), "0123456789");
    EXPECT_EQ(*d.byteAt(9), '9');
    EXPECT_EQ(d.byteAt(10), nullptr);
    d.dropLast(50);
    EXPECT_EQ(d.size(), 0u);
    EXPECT_EQ(d.capacity(), 14u);
}

TEST(DataBuffer, BorrowedStorageIsCopiedOnGrowthAndNeverFreed) {
    char lent[4] = {'a', 'b', 'c', 'd'};
    DataBuffer d;
    d.appendExact("old", 3);
    d.borrow(lent, 4);
    EXPECT_TRUE(d.isBorrowed());
    EXPECT_EQ(d.data(), reinterpret_cast<std::uint8_t*>(lent));
    EXPECT_EQ(d.capacity(), 4u);
    ASSERT_TRUE(d.append("e", 1));
    EXPECT_FALSE(d.isBorrowed());
    EXPECT_NE(d.data(), reinterpret_cast<std::uint8_t*>(lent));
    EXPECT_EQ(bytes(d), "abcde");
    EXPECT_EQ(std::string(lent, 4), "abcd");
}

TEST(DataBuffer, AdoptTakeFromAndDetachMoveStorage) {
    auto* block = static_cast<std::uint8_t*>(std::malloc(8));
    std::memcpy(block, "adopted!", 8);
    DataBuffer a;
    a.adopt(block, 8);  // freed by a (the leak checker would complain otherwise)
    EXPECT_FALSE(a.isBorrowed());
    DataBuffer b;
    b.appendExact("replaced", 8);
    b.takeFrom(&a);
    EXPECT_EQ(b.data(), block);
    EXPECT_EQ(bytes(b), "adopted!");
    EXPECT_EQ(a.data(), nullptr);
    EXPECT_EQ(a.capacity(), 0u);
    b.takeFrom(nullptr);
    EXPECT_EQ(b.size(), 0u);
    EXPECT_EQ(b.data(), block);
    char lent[2] = {'x', 'y'};
    DataBuffer c;
    c.borrow(lent, 2);
    DataBuffer e;
    e.takeFrom(&c);
    EXPECT_TRUE(e.isBorrowed());
    e.detach();
    EXPECT_EQ(e.data(), nullptr);
    EXPECT_EQ(e.capacity(), 0u);
    b.takeFrom(&b);
    EXPECT_EQ(b.data(), block);
}

TEST(DataBuffer, WideText) {
    DataBuffer d;
    ASSERT_TRUE(d.appendWide(u"a/b"));
    ASSERT_EQ(d.size(), 8u);
    d.replaceWideChar(u'/', u'\\');
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(d.data())), u"a\\b");
    d.replaceWideChar(u'a', 0);
    EXPECT_EQ(reinterpret_cast<const char16_t*>(d.data())[0], u'a');
    DataBuffer n;
    ASSERT_TRUE(n.appendWide(nullptr));
    EXPECT_EQ(bytes(n), std::string(2, '\0'));
}

TEST(DataBuffer, SwapBytes32HandlesTails) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"1234", "4321"}, {"123456", "432165"}, {"1234567", "4321765"}, {"12345", "43215"}, {"", ""},
    };
    for (const Case& c : cases) {
        DataBuffer d;
        d.appendExact(c.in.data(), static_cast<std::uint32_t>(c.in.size()));
        d.swapBytes32();
        EXPECT_EQ(bytes(d), c.out) << c.in;
    }
}

TEST(DataBuffer, PaddingSchemes) {
    struct Case {
        int scheme;
        int block;
        std::uint32_t size;
        std::uint32_t added;
        int lastByte;  // -1: random
        int fill;      // value of every added byte but the last, -1: random
    };
    const Case cases[] = {
        {0, 16, 16, 16, 16, 16}, {0, 8, 5, 3, 3, 3},       {0, 12, 20, 12, 12, 12}, {1, 8, 8, 8, 8, -1},
        {1, 16, 15, 1, 1, -1},   {2, 16, 16, 0, -1, -1},   {2, 8, 3, 5, -1, -1},    {3, 8, 3, 5, 0, 0},
        {3, 16, 32, 0, -1, -1},  {4, 16, 10, 6, ' ', ' '},
    };
    for (const Case& c : cases) {
        DataBuffer d;
        std::vector<std::uint8_t> content(c.size, 0xEE);
        d.appendExact(content.data(), c.size);
        ASSERT_TRUE(d.pad(c.scheme, c.block));
        ASSERT_EQ(d.size(), c.size + c.added) << c.scheme << "/" << c.size;
        if (c.lastByte >= 0) {
            EXPECT_EQ(d.data()[d.size() - 1], c.lastByte) << c.scheme << "/" << c.size;
        }
        for (std::uint32_t i = c.size; c.fill >= 0 && i + 1 < d.size(); ++i) EXPECT_EQ(d.data()[i], c.fill);
        if (c.scheme <= 1) {
            d.unpad(c.scheme);
            EXPECT_EQ(d.size(), c.size) << c.scheme << "/" << c.size;
        }
    }
    DataBuffer d;
    EXPECT_FALSE(d.pad(9, 16));
    d.appendExact("\x02\x09", 2);
    d.unpad(0);
    EXPECT_EQ(d.size(), 0u);
    d.appendExact("\x02\x09", 2);
    d.unpad(3);
    EXPECT_EQ(d.size(), 2u);
}

TEST(DataBuffer, LoadFileReadsContentAndFourZeroBytes) {
    TempFolder dir;
    std::string path = dir.write("data.bin", std::string("ab\0cd", 5));
    LoadFileLog log;
    DataBuffer d;
    d.appendExact("old content", 11);
    ASSERT_TRUE(d.loadFile(path.c_str(), log));
    EXPECT_EQ(bytes(d), std::string("ab\0cd", 5));
    EXPECT_EQ(d.capacity(), 9u);
    EXPECT_EQ(std::memcmp(d.data() + 5, "\0\0\0\0", 4), 0);
    EXPECT_TRUE(log.errors.empty());

    std::string empty = dir.write("empty.txt", "");
    ASSERT_TRUE(d.loadFile(empty.c_str(), log));
    EXPECT_EQ(d.size(), 0u);

    std::string backslashed = dir.path() + "\\data.bin";
    ASSERT_TRUE(d.loadFile(backslashed.c_str(), log));
    EXPECT_EQ(d.size(), 5u);
}

TEST(DataBuffer, LoadFileFailuresLeaveItEmpty) {
    TempFolder dir;
    LoadFileLog log;
    DataBuffer d;
    d.appendExact("old", 3);
    EXPECT_FALSE(d.loadFile((dir / "missing").c_str(), log));
    EXPECT_EQ(d.size(), 0u);
    d.appendExact("old", 3);
    EXPECT_FALSE(d.loadFile(dir.path().c_str(), log));
    EXPECT_EQ(d.size(), 0u);
}

TEST(DataBufferDeathTest, UseAfterDestructionStopsTheProcess) {
    alignas(DataBuffer) unsigned char storage[sizeof(DataBuffer)];
    auto* d = new (storage) DataBuffer();
    d->~DataBuffer();
    EXPECT_DEATH(d->appendByte(1), "");
}
