// SPDX-License-Identifier: MIT
#include "exporter/http_server.hpp"

#include "common/output.hpp"

#include <microhttpd.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <memory>
#include <utility>

namespace kexp {
namespace {

MHD_Result add_param(void* params, MHD_ValueKind, const char* key, const char* value) {
    static_cast<QueryParams*>(params)->emplace(key, value ? value : "");
    return MHD_YES;
}

MHD_Result queue_answer(MHD_Connection* connection, const HttpAnswer& answer) {
    using Response = std::unique_ptr<MHD_Response, decltype(&MHD_destroy_response)>;
    const Response response(
        MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                        MHD_RESPMEM_MUST_COPY),
        &MHD_destroy_response);
    if (!response) return MHD_NO;  // out of memory: the connection is closed
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONTENT_TYPE,
                            answer.content_type.c_str());
    // One request per connection: a client cannot keep one open between requests.
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    return MHD_queue_response(connection, static_cast<unsigned>(answer.status), response.get());
}

// Called once a request's line and headers are in. The answer is queued at once: a body a
// client sends along is never read, and its connection closes after the answer.
MHD_Result on_request(void* server_handler, MHD_Connection* connection, const char* path,
                      const char* method, const char*, const char*, std::size_t*, void**) {
    const auto& handler = *static_cast<const HttpServer::Handler*>(server_handler);
    HttpAnswer answer;
    try {
        answer = handler(HttpRequest(connection, method, path));
    } catch (const std::exception& e) {
        const std::string message = std::string("Internal error: ") + e.what();
        kcli::write_stderr_line("kolvane: " + message);
        answer = {500, "text/plain; charset=utf-8", message + "\n"};
    }
    return queue_answer(connection, answer);
}

}  // namespace

HttpRequest::HttpRequest(MHD_Connection* connection, std::string method, std::string path)
    : connection_(connection), method_(std::move(method)), path_(std::move(path)) {}

QueryParams HttpRequest::params() const {
    QueryParams params;
    MHD_get_connection_values(connection_, MHD_GET_ARGUMENT_KIND, &add_param, &params);
    return params;
}

std::optional<std::string> HttpRequest::header(const char* name) const {
    const char* value = MHD_lookup_connection_value(connection_, MHD_HEADER_KIND, name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string HttpRequest::remote_address() const {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection_, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    char host[NI_MAXHOST] = "";
    if (!info || !info->client_addr) return host;
    const socklen_t size =
        info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    getnameinfo(info->client_addr, size, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
    return host;
}

bool HttpRequest::client_gone() const {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection_, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info) return false;
    pollfd entry{info->connect_fd, POLLRDHUP, 0};
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

HttpServer::HttpServer(HttpLimits limits, Handler handler)
    : limits_(limits), handler_(std::move(handler)) {}

HttpServer::~HttpServer() { stop(); }

int HttpServer::start(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                     MHD_USE_POLL;  // poll: no FD_SETSIZE limit on descriptors
    if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &on_request, &handler_, MHD_OPTION_SOCK_ADDR, found->ai_addr,
        MHD_OPTION_CONNECTION_LIMIT, limits_.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        limits_.per_client, MHD_OPTION_CONNECTION_TIMEOUT, limits_.idle_timeout_s,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.request_bytes,
        // No SO_REUSEPORT: a second exporter on the port fails instead of sharing it.
        MHD_OPTION_LISTENING_ADDRESS_REUSE, 0u, MHD_OPTION_END);
    if (!daemon_) return -1;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_LISTEN_FD);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (!info || getsockname(info->listen_fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        stop();
        return -1;
    }
    const auto* any = reinterpret_cast<const sockaddr*>(&bound);
    return ntohs(any->sa_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(any)->sin6_port
                                            : reinterpret_cast<const sockaddr_in*>(any)->sin_port);
}

void HttpServer::stop() {
    if (daemon_) MHD_stop_daemon(std::exchange(daemon_, nullptr));
}

}  // namespace kexp
