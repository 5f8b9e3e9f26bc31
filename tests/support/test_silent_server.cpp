#include "test_silent_server.hpp"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

test_silent_server::test_silent_server(int give_up_seconds)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    // the kernel completes the handshake of queued connections: nothing is accepted
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener_, 16) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("cannot open a listening socket");
    port_ = std::to_string(ntohs(address.sin_port));
    closer_ = std::thread([this, give_up_seconds] {
        std::unique_lock<std::mutex> lock(mutex_);
        stop_.wait_for(lock, std::chrono::seconds(give_up_seconds), [this] { return stopping_; });
        // the waiting clients see their connections end
        ::fcntl(listener_, F_SETFL, O_NONBLOCK);
        for (int client; (client = ::accept(listener_, nullptr, nullptr)) >= 0;)
            ::close(client);
        ::close(listener_);
    });
}

test_silent_server::~test_silent_server()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    closer_.join();
}
