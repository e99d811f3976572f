#pragma once
// A small HTTP server on 127.0.0.1 for the network tests: it takes one connection at a time, records the
// head of each request and answers with whatever the test scripts for it (the request's number and head).
#include <winsock2.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kx {

class RecordingServer {
public:
    explicit RecordingServer(std::function<std::string(int, const std::string&)> respond, int stallMs = 0)
        : respond_(std::move(respond)), stallMs_(stallMs) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 64);
        int size = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~RecordingServer() {
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        for (int n = 0;; ++n) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::string head;
            char buffer[4096];
            while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
                int got = recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) break;
                head.append(buffer, got);
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(head);
            }
            if (stallMs_) Sleep(stallMs_);
            const std::string response = respond_(n, head);
            for (size_t sent = 0; sent < response.size();) {
                int put = send(client, response.data() + sent,
                               static_cast<int>(std::min<size_t>(65536, response.size() - sent)), 0);
                if (put <= 0) break;
                sent += put;
            }
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    std::function<std::string(int, const std::string&)> respond_;
    int stallMs_;
    SOCKET listener_ = INVALID_SOCKET;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

}  // namespace kx
