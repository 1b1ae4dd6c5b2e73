// libgcrypt start-up: first use from several threads at once, and a library that is fully
// started afterwards (CTest runs this case in a process of its own, so the start-up is ours).
#include <gtest/gtest.h>

#include <gcrypt.h>

#include <atomic>
#include <thread>
#include <vector>

#include "crypto/GcryptInit.h"

TEST(GcryptInit, ConcurrentFirstUseStartsTheLibraryOnce) {
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            ready += GcryptInit::ready() ? 1 : 0;
        });
    go = true;
    for (auto& t : threads) t.join();
    EXPECT_EQ(ready, 8);
    EXPECT_TRUE(gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P));
    unsigned char digest[20];
    gcry_md_hash_buffer(GCRY_MD_SHA1, digest, "abc", 3);
    EXPECT_EQ(digest[0], 0xA9);  // SHA-1("abc") = a9993e36...
}
