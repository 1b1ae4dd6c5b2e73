// HashMap with its NamedObject entries: replacement, ownership, bucket choice and lookups.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "base/HashMap.h"
#include "base/Md5.h"
#include "base/NamedObject.h"
#include "base/StringBuffer.h"

namespace {

// A value that counts its live instances, so tests see which values the map deleted.
class CountedText : public StringBuffer {
public:
    explicit CountedText(const char* text) : StringBuffer(text) { ++live; }
    ~CountedText() override { --live; }
    static int live;
};
int CountedText::live = 0;

std::string valueOf(const HashMap& map, const char* key) {
    NamedObject* entry = map.find(key);
    if (entry == nullptr) return "<absent>";
    return entry->value() == nullptr ? "<null>" : entry->value()->text();
}

}  // namespace

TEST(HashMap, PutReplacesTheValueOfAPresentKey) {
    {
        HashMap map(400);
        ASSERT_TRUE(map.put("dir/a", new CountedText("one")));
        NamedObject* entry = map.find("dir/a");
        ASSERT_NE(entry, nullptr);
        ASSERT_TRUE(map.put("dir/a", new CountedText("two")));
        EXPECT_EQ(map.find("dir/a"), entry);  // same entry, not a second one
        EXPECT_EQ(valueOf(map, "dir/a"), "two");
        EXPECT_EQ(CountedText::live, 1);
        StringBuffer* current = entry->value();
        ASSERT_TRUE(map.put("dir/a", current));  // the same object is kept, not deleted
        EXPECT_EQ(CountedText::live, 1);
        EXPECT_EQ(valueOf(map, "dir/a"), "two");
        ASSERT_TRUE(map.put("dir/b", new CountedText("three")));
        ASSERT_TRUE(map.put("dir/c", nullptr));
        EXPECT_EQ(valueOf(map, "dir/c"), "<null>");
        EXPECT_FALSE(map.put(nullptr, new CountedText("orphan")));
        EXPECT_EQ(CountedText::live, 2);
    }
    EXPECT_EQ(CountedText::live, 0);  // the map deleted every value
}

TEST(HashMap, KeysAreCaseSensitiveAndExact) {
    HashMap map;
    EXPECT_EQ(map.bucketCount(), 100u);
    ASSERT_TRUE(map.putText("Dir", "upper"));
    EXPECT_TRUE(map.contains("Dir"));
    EXPECT_FALSE(map.contains("dir"));
    EXPECT_FALSE(map.contains("Di"));
    EXPECT_FALSE(map.contains("Dir/"));
    EXPECT_FALSE(map.contains(nullptr));
    ASSERT_TRUE(map.putText("dir", "lower"));
    EXPECT_EQ(valueOf(map, "Dir"), "upper");
    EXPECT_EQ(valueOf(map, "dir"), "lower");
    ASSERT_TRUE(map.putText("", "empty key"));
    EXPECT_EQ(valueOf(map, ""), "empty key");
}

TEST(HashMap, BucketIsCrc32OfTheMd5Digest) {
    HashMap map(400);
    for (const char* key : {"", "a", "folder/sub/file.txt", "Dir"}) {
        std::uint8_t digest[16];
        Md5::digestString(StringBuffer(key), digest);
        EXPECT_EQ(map.bucketOf(key), crc32(0, digest, 16) % 400) << key;
    }
}

TEST(HashMap, ManyKeysInFewOrManyBuckets) {
    for (std::uint32_t buckets : {1u, 7u, 400u}) {
        HashMap map(buckets);
        for (int i = 0; i < 2000; ++i) {
            std::string key = "entry/" + std::to_string(i);
            ASSERT_TRUE(map.putText(key.c_str(), std::to_string(i * 3).c_str()));
        }
        for (int i = 0; i < 2000; ++i) {
            std::string key = "entry/" + std::to_string(i);
            ASSERT_EQ(valueOf(map, key.c_str()), std::to_string(i * 3)) << buckets;
        }
        EXPECT_FALSE(map.contains("entry/2000"));
    }
}

TEST(HashMap, EntryNameIsAShrunkCopy) {
    char key[] = "name";
    NamedObject entry(key, nullptr);
    key[0] = 'g';
    EXPECT_TRUE(entry.name().equals("name"));
    EXPECT_EQ(entry.name().capacity(), 5);
}
