// Checks the copied publication against the SHA-256 stamped into the stub, on a thread of its
// own: the extraction, which must finish anyway before anything runs, goes on meanwhile, so the
// check costs the reader almost no time where a second core is free. Nothing from the archive
// runs until matches() has said yes.
#pragma once
#include <atomic>
#include <string>
#include <thread>

class PayloadDigest {
public:
    PayloadDigest() = default;
    // Waits for the thread.
    ~PayloadDigest();
    PayloadDigest(const PayloadDigest&) = delete;
    PayloadDigest& operator=(const PayloadDigest&) = delete;

    // Starts hashing the file at path (its first stamped-payload-length bytes, all of it).
    void start(const std::string& path);
    // Waits for the result: true when the file's digest is the stamped one.
    bool matches();

private:
    std::thread m_thread;
    std::atomic<bool> m_match{false};
    bool m_started = false;
};
