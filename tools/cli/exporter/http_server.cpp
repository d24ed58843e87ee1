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

// One libmicrohttpd daemon serving the listening socket; a change of the TLS settings hands the
// socket to a new one, and this one answers the requests it has before it stops.
struct HttpServer::Listener {
    explicit Listener(HttpServer& owner) : server(owner) {}
    HttpServer& server;
    std::optional<TlsSettings> tls;  // libmicrohttpd reads them while it runs
    MHD_Daemon* daemon = nullptr;
    std::mutex mutex;            // a request is handed to a worker, or refused
    bool closing = false;        // answers close their connections: it is replaced or stops
    bool refusing = false;       // new requests are answered 503: it stops
    int at_work = 0;             // requests on a worker, their connections suspended
    std::atomic<int> unsent{0};  // requests whose answer is not sent yet
};

// A request in libmicrohttpd's hands: its answer once a worker has made it.
struct PendingAnswer {
    std::shared_ptr<const HttpRequest> request;  // null once handed to a worker
    std::optional<HttpAnswer> answer;
    bool close = false;  // the answer closes the connection
};

// Hands a request whose headers are in to a worker, its connection suspended meanwhile, and
// sends the answer once the worker resumes the connection.
struct RequestDispatch {
    static MHD_Result on_request(void* listener, MHD_Connection* connection, const char* path,
                                 const char* method, const char*, const char*,
                                 std::size_t* body_size, void** state);
    static void on_completed(void* listener, MHD_Connection* connection, void** state,
                             MHD_RequestTerminationCode code);
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

MHD_Result queue_answer(MHD_Connection* connection, const HttpAnswer& answer, bool close) {
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
    if (close) MHD_add_response_header(response.get(), MHD_HTTP_HEADER_CONNECTION, "close");
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

// Called once a request's line and headers are in, again at its end, and again after its
// connection is resumed. A request is handed to a worker at its end, so that the connection can
// take the client's next one; a body a client sends along is never read: such a request is
// handed over at once, and its connection closes after the answer.
MHD_Result RequestDispatch::on_request(void* listener_state, MHD_Connection* connection,
                                       const char* path, const char* method, const char* version,
                                       const char*, std::size_t* body_size, void** state) {
    auto& listener = *static_cast<HttpServer::Listener*>(listener_state);
    HttpServer& server = listener.server;
    auto* pending = static_cast<PendingAnswer*>(*state);
    *body_size = 0;
    if (pending == nullptr) {
        server.header_watch_->done(connection);
        pending = new PendingAnswer;
        *state = pending;
        ++listener.unsent;
        pending->request =
            std::make_shared<const HttpRequest>(connection, method, path, version ? version : "");
        pending->close = pending->request->has_body();
        if (!pending->close) return MHD_YES;
    }
    if (pending->answer) return queue_answer(connection, *pending->answer, pending->close);
    if (!pending->request) return MHD_YES;
    const std::lock_guard lock(listener.mutex);
    if (listener.refusing) {
        pending->close = true;
        return queue_answer(connection,
                            {503, "text/plain; charset=utf-8", "The exporter is stopping\n"}, true);
    }
    MHD_suspend_connection(connection);
    ++listener.at_work;
    server.workers_.run(
        [&server, &listener, pending, connection, request = std::move(pending->request)] {
            std::optional<HttpAnswer> refused;
            if (server.gate_) refused = server.gate_(*request);
            pending->answer = refused ? std::move(*refused) : answer_of(server.handler_, *request);
            const std::lock_guard lock(listener.mutex);
            // A listener being replaced or stopped sends its clients to the next one.
            pending->close = pending->close || listener.closing;
            MHD_resume_connection(connection);
            --listener.at_work;
        });
    return MHD_YES;
}

void RequestDispatch::on_completed(void* listener_state, MHD_Connection* connection, void** state,
                                   MHD_RequestTerminationCode code) {
    auto& listener = *static_cast<HttpServer::Listener*>(listener_state);
    auto* pending = static_cast<PendingAnswer*>(*state);
    if (pending == nullptr) return;
    // A connection kept for the client's next request is bounded as a new one is, from now to
    // the end of the next headers; its closing, which follows this call, ends the watch.
    if (code == MHD_REQUEST_TERMINATED_COMPLETED_OK && !pending->close)
        listener.server.header_watch_->accepted(connection, client_address(connection));
    delete pending;
    *state = nullptr;
    --listener.unsent;
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
    const auto length = headers_.find("content-length");
    has_body_ =
        headers_.contains("transfer-encoding") ||
        (length != headers_.end() && length->second.find_first_not_of("0 \t") != std::string::npos);
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

std::unique_ptr<HttpServer::Listener> HttpServer::launch(int socket, const sockaddr* address,
                                                         const std::optional<TlsSettings>& tls) {
    auto listener = std::make_unique<Listener>(*this);
    listener->tls = tls;
    unsigned flags = flags_;
    std::vector<MHD_OptionItem> options;
    if (socket != MHD_INVALID_SOCKET)
        options.push_back({MHD_OPTION_LISTEN_SOCKET, socket, nullptr});
    else
        // Left at its default, the listener takes SO_REUSEADDR alone: a restart binds again
        // beside the connections of the last answers still in TIME-WAIT, and a second exporter
        // on the port still fails (no SO_REUSEPORT). Given explicitly, 0 would forbid reuse.
        options.push_back({MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(address)});
    if (const auto& t = listener->tls) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(t->cert_pem.c_str())});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(t->key_pem.c_str())});
        options.push_back(
            {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(t->priorities.c_str())});
        // With a client CA the handshake asks for a client certificate; the gate checks it.
        if (!t->client_ca_pem.empty())
            options.push_back(
                {MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(t->client_ca_pem.c_str())});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});
    listener->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &RequestDispatch::on_request, listener.get(),
        MHD_OPTION_CONNECTION_LIMIT, limits_.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        limits_.per_client, MHD_OPTION_CONNECTION_TIMEOUT, limits_.idle_timeout_s,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, limits_.request_bytes, MHD_OPTION_NOTIFY_COMPLETED,
        &RequestDispatch::on_completed, listener.get(), MHD_OPTION_NOTIFY_CONNECTION,
        &RequestDispatch::on_connection, this, MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (!listener->daemon) return nullptr;
    return listener;
}

int HttpServer::start(const std::string& host, int port, const std::optional<TlsSettings>& tls) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> addresses(found, &freeaddrinfo);
    // epoll: no FD_SETSIZE limit on descriptors, and no cost per idle connection.
    flags_ = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME;
    if (found->ai_family == AF_INET6) flags_ |= MHD_USE_IPv6;
    // Trickled headers may hold at most half of what one address may open.
    header_watch_ = std::make_unique<HeaderWatch>(std::chrono::seconds(limits_.header_time_s),
                                                  std::max(1u, limits_.per_client / 2));
    const std::lock_guard lock(listener_mutex_);
    listener_ = launch(MHD_INVALID_SOCKET, found->ai_addr, tls);
    if (!listener_) return -1;
    const MHD_DaemonInfo* info = MHD_get_daemon_info(listener_->daemon, MHD_DAEMON_INFO_LISTEN_FD);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (!info || getsockname(info->listen_fd, reinterpret_cast<sockaddr*>(&bound), &size) != 0) {
        MHD_stop_daemon(listener_->daemon);
        listener_.reset();
        return -1;
    }
    const auto* any = reinterpret_cast<const sockaddr*>(&bound);
    return ntohs(any->sa_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(any)->sin6_port
                                            : reinterpret_cast<const sockaddr_in*>(any)->sin_port);
}

std::optional<TlsSettings> HttpServer::tls() const {
    const std::lock_guard lock(listener_mutex_);
    return listener_ ? listener_->tls : std::nullopt;
}

bool HttpServer::replace_tls(const TlsSettings& tls) {
    const std::lock_guard lock(listener_mutex_);
    if (!listener_) return false;
    const MHD_socket socket = MHD_quiesce_daemon(listener_->daemon);
    if (socket == MHD_INVALID_SOCKET) return false;
    // Connections wait in the socket's backlog meanwhile.
    std::unique_ptr<Listener> former = std::move(listener_);
    listener_ = launch(socket, nullptr, tls);
    const bool replaced = listener_ != nullptr;
    if (!replaced) listener_ = launch(socket, nullptr, former->tls);
    {
        const std::lock_guard closing(former->mutex);
        former->closing = true;
    }
    retire(*former);
    if (!listener_) {
        ::close(socket);
        throw std::runtime_error("libmicrohttpd took the listening socket back with no settings");
    }
    return replaced;
}

void HttpServer::retire(Listener& listener) {
    // Requests on a worker hold suspended connections, which must be resumed before the daemon
    // stops: they end within their probe's budget. Their answers then get a moment to go out.
    std::optional<std::chrono::steady_clock::time_point> give_up;
    for (;;) {
        {
            const std::lock_guard lock(listener.mutex);
            if (listener.at_work == 0) {
                const auto now = std::chrono::steady_clock::now();
                if (!give_up) give_up = now + std::chrono::seconds(1);
                if (listener.unsent == 0 || now >= *give_up) {
                    listener.refusing = true;
                    break;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    MHD_stop_daemon(std::exchange(listener.daemon, nullptr));
}

void HttpServer::stop() {
    const std::lock_guard lock(listener_mutex_);
    if (!listener_) return;
    // No new connections or requests; the requests being answered get their answers, and a
    // moment to send them, before every connection closes.
    {
        const std::lock_guard stopping(listener_->mutex);
        listener_->closing = listener_->refusing = true;
    }
    if (const MHD_socket listening = MHD_quiesce_daemon(listener_->daemon);
        listening != MHD_INVALID_SOCKET)
        ::close(listening);
    retire(*listener_);
    listener_.reset();
    header_watch_.reset();  // after the daemon: its last connections are reported closed to it
}

}  // namespace kexp
