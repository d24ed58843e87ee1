// SPDX-License-Identifier: MIT
#include "exporter/http_server.hpp"

#include "common/output.hpp"

#include <gnutls/gnutls.h>
#include <microhttpd.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace kexp {

// A request in libmicrohttpd's hands: its answer once a worker has made it.
struct PendingAnswer {
    std::optional<HttpAnswer> answer;
};

// Hands a request whose headers are in to a worker, its connection suspended meanwhile, and
// sends the answer once the worker resumes the connection.
struct RequestDispatch {
    static MHD_Result on_request(void* server, MHD_Connection* connection, const char* path,
                                 const char* method, const char*, const char*,
                                 std::size_t* body_size, void** state);
    static void on_completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
        delete static_cast<PendingAnswer*>(*state);
        *state = nullptr;
    }
    static void on_connection(void* server, MHD_Connection* connection, void**,
                              MHD_ConnectionNotificationCode code);
};

namespace {

// The client's numeric address, without port; empty when it is not known.
std::string client_address(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    const socklen_t size =
        info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    char host[NI_MAXHOST] = "";
    getnameinfo(info->client_addr, size, host, sizeof host, nullptr, 0, NI_NUMERICHOST);
    return host;
}

MHD_Result add_param(void* params, MHD_ValueKind, const char* key, const char* value) {
    static_cast<QueryParams*>(params)->emplace(key, value ? value : "");
    return MHD_YES;
}

std::string lower(std::string text) {
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

MHD_Result add_header(void* headers, MHD_ValueKind, const char* key, const char* value) {
    // The first of a header given twice counts, as a lookup by name finds it.
    static_cast<std::map<std::string, std::string>*>(headers)->emplace(lower(key),
                                                                       value ? value : "");
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
    if (answer.status == 401)
        MHD_add_response_header(response.get(), MHD_HTTP_HEADER_WWW_AUTHENTICATE,
                                "Basic realm=\"kolvane exporter\"");
    // One request per connection: a client cannot keep one open between requests.
    MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
    return MHD_queue_response(connection, static_cast<unsigned>(answer.status), response.get());
}

HttpAnswer answer_of(const HttpServer::Handler& handler, const HttpRequest& request) {
    try {
        return handler(request);
    } catch (const std::exception& e) {
        const std::string message = std::string("Internal error: ") + e.what();
        kcli::write_stderr_line("kolvane: " + message);
        return {500, "text/plain; charset=utf-8", message + "\n"};
    }
}

}  // namespace

// Called once a request's line and headers are in, and again after its connection is resumed.
// A body a client sends along is never read: its connection closes after the answer.
MHD_Result RequestDispatch::on_request(void* server_state, MHD_Connection* connection,
                                       const char* path, const char* method, const char* version,
                                       const char*, std::size_t* body_size, void** state) {
    auto& server = *static_cast<HttpServer*>(server_state);
    auto* pending = static_cast<PendingAnswer*>(*state);
    if (pending == nullptr) {
        server.header_watch_->done(connection);
        pending = new PendingAnswer;
        *state = pending;
        auto request =
            std::make_shared<const HttpRequest>(connection, method, path, version ? version : "");
        const std::lock_guard lock(server.stopping_mutex_);
        if (server.stopping_)
            return queue_answer(connection,
                                {503, "text/plain; charset=utf-8", "The exporter is stopping\n"});
        MHD_suspend_connection(connection);
        server.workers_.run([&server, pending, request, connection] {
            std::optional<HttpAnswer> refused;
            if (server.gate_) refused = server.gate_(*request);
            pending->answer = refused ? std::move(*refused) : answer_of(server.handler_, *request);
            MHD_resume_connection(connection);
        });
        return MHD_YES;
    }
    *body_size = 0;
    return pending->answer ? queue_answer(connection, *pending->answer) : MHD_YES;
}

void RequestDispatch::on_connection(void* server_state, MHD_Connection* connection, void**,
                                    MHD_ConnectionNotificationCode code) {
    HeaderWatch& watch = *static_cast<HttpServer*>(server_state)->header_watch_;
    if (code == MHD_CONNECTION_NOTIFY_STARTED)
        watch.accepted(connection, client_address(connection));
    else
        watch.done(connection);
}

HttpRequest::HttpRequest(MHD_Connection* connection, std::string method, std::string path,
                         std::string version)
    : method_(std::move(method)),
      path_(std::move(path)),
      http_1_1_(version == MHD_HTTP_VERSION_1_1) {
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, &add_param, &params_);
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &add_header, &headers_);
    if (const MHD_ConnectionInfo* info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD))
        socket_ = info->connect_fd;
    remote_address_ = client_address(connection);
    char* password = nullptr;
    if (char* user = MHD_basic_auth_get_username_password(connection, &password)) {
        user_ = user;
        password_ = password ? password : "";
        MHD_free(user);
        if (password) MHD_free(password);
    }
    const MHD_ConnectionInfo* tls =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    if (tls && tls->tls_session) {
        over_tls_ = true;
        const auto session = static_cast<gnutls_session_t>(tls->tls_session);
        unsigned int shown = 0;
        unsigned int status = 0;
        if (gnutls_certificate_get_peers(session, &shown) && shown > 0)
            client_cert_ = gnutls_certificate_verify_peers2(session, &status) == 0 && status == 0
                               ? ClientCert::VERIFIED
                               : ClientCert::NOT_VERIFIED;
    }
}

std::optional<std::string> HttpRequest::header(const char* name) const {
    const auto found = headers_.find(lower(name));
    if (found == headers_.end()) return std::nullopt;
    return found->second;
}

bool HttpRequest::client_gone() const {
    if (socket_ < 0) return false;
    pollfd entry{socket_, POLLRDHUP, 0};
    if (::poll(&entry, 1, 0) <= 0) return false;
    if ((entry.revents & (POLLHUP | POLLERR)) != 0) return true;  // reset, or closed both ways
    if ((entry.revents & POLLRDHUP) == 0 || asked_.exchange(true)) return false;
    // Over TLS a byte of our own would break the session: such a client is taken to have left.
    if (!http_1_1_ || over_tls_) return true;
    // The client sent its last byte. Nothing of the answer went out yet (the connection waits
    // for it), so an interim answer may: a client that left resets the connection on it, one
    // that awaits the answer takes it, as HTTP/1.1 clients must. The reset takes a round trip.
    static constexpr char PROCESSING[] = "HTTP/1.1 102 Processing\r\n\r\n";
    if (::send(socket_, PROCESSING, sizeof PROCESSING - 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
        return true;
    pollfd reset{socket_, 0, 0};  // POLLHUP and POLLERR are reported whatever is asked for
    constexpr int RESET_WAIT_MS = 200;
    return ::poll(&reset, 1, RESET_WAIT_MS) > 0;
}

HttpServer::HttpServer(HttpLimits limits, Handler handler)
    : limits_(limits), handler_(std::move(handler)), workers_(limits.connections) {}

HttpServer::~HttpServer() { stop(); }

int HttpServer::start(const std::string& host, int port, const std::optional<TlsSettings>& tls) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
    // epoll: no FD_SETSIZE limit on descriptors, and no cost per idle connection.
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    tls_ = tls;
    std::vector<MHD_OptionItem> tls_options;
    if (tls_) {
        flags |= MHD_USE_TLS;
        tls_options = {{MHD_OPTION_HTTPS_MEM_CERT, 0, tls_->cert_pem.data()},
                       {MHD_OPTION_HTTPS_MEM_KEY, 0, tls_->key_pem.data()},
                       {MHD_OPTION_HTTPS_PRIORITIES, 0, tls_->priorities.data()}};
        // With a client CA the handshake asks for a client certificate; the gate checks it.
        if (!tls_->client_ca_pem.empty())
            tls_options.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, tls_->client_ca_pem.data()});
    }
    tls_options.push_back({MHD_OPTION_END, 0, nullptr});
    // Trickled headers may hold at most half of what one address may open.
    header_watch_ = std::make_unique<HeaderWatch>(std::chrono::seconds(limits_.header_time_s),
                                                  std::max(1u, limits_.per_client / 2));
    daemon_ = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &RequestDispatch::on_request, this, MHD_OPTION_SOCK_ADDR,
        found->ai_addr, MHD_OPTION_CONNECTION_LIMIT, limits_.connections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.per_client, MHD_OPTION_CONNECTION_TIMEOUT,
        limits_.idle_timeout_s, MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.request_bytes,
        // Left at its default, the listener takes SO_REUSEADDR alone: a restart binds again
        // beside the connections of the last answers still in TIME-WAIT, and a second exporter
        // on the port still fails (no SO_REUSEPORT). Given explicitly, 0 would forbid reuse.
        MHD_OPTION_NOTIFY_COMPLETED, &RequestDispatch::on_completed, nullptr,
        MHD_OPTION_NOTIFY_CONNECTION, &RequestDispatch::on_connection, this, MHD_OPTION_ARRAY,
        tls_options.data(), MHD_OPTION_END);
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
    if (!daemon_) return;
    // No new connections or requests; the requests being answered get their answers, and a
    // moment to send them, before every connection closes.
    {
        const std::lock_guard lock(stopping_mutex_);
        stopping_ = true;
    }
    if (const MHD_socket listening = MHD_quiesce_daemon(daemon_); listening != MHD_INVALID_SOCKET)
        ::close(listening);
    workers_.wait_idle();
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (;;) {
        const MHD_DaemonInfo* info =
            MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_CURRENT_CONNECTIONS);
        if (!info || info->num_connections == 0 || std::chrono::steady_clock::now() >= give_up)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    MHD_stop_daemon(std::exchange(daemon_, nullptr));
    header_watch_.reset();  // after the daemon: its last connections are reported closed to it
}

}  // namespace kexp
