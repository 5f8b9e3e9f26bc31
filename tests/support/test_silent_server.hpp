#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// a loopback port that takes connections and never answers. after give_up_seconds it
// closes them, so that a client without a time-out of its own fails instead of
// waiting for ever
class test_silent_server
{
public:
    explicit test_silent_server(int give_up_seconds = 40);
    ~test_silent_server();
    test_silent_server(const test_silent_server&) = delete;
    test_silent_server& operator=(const test_silent_server&) = delete;

    const std::string& port() const { return port_; }

private:
    int listener_ = -1;
    std::string port_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread closer_;
};
