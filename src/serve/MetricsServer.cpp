// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/MetricsServer.h"

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string_view>

#include "serve/Exposition.h"

namespace quarnel::serve {
namespace {

// Each worker serves its connections from one epoll loop: a slow client costs
// a connection slot and its memory, never a worker.
constexpr unsigned kWorkers = 4;
constexpr unsigned kMaxConnections = 512;
// Idle seconds before a connection is closed; any byte received restarts it.
constexpr unsigned kIdleTimeoutSeconds = 5;
// Everything a connection may hold, request head included: a head too large
// for it gets the library's own 414 or 431 and the connection is closed.
constexpr size_t kConnectionMemory = 32 * 1024;
constexpr size_t kMaxRequestLine = 8 * 1024;
constexpr size_t kMaxHead = 16 * 1024;

constexpr std::string_view kIndexPage =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>QUARNEL exporter</title></head>\n"
    "<body><h1>QUARNEL exporter</h1>\n<p><a href=\"/metrics\">Metrics</a></p></body></html>\n";
constexpr const char* kPlainText = "text/plain; charset=utf-8";

// One published text, gzipped once by the first scrape that asks for it.
struct Published {
    explicit Published(std::string t) : text(std::move(t)) {}
    std::string text;
    std::once_flag zipOnce;
    std::string gzip;  // empty: deflate failed, so the text goes plain

    const std::string& zipped() {
        std::call_once(zipOnce, [this] { gzip = Gzip(text); });
        return gzip;
    }

    static std::string Gzip(const std::string& in) {
        z_stream z{};
        // 15 + 16: the gzip wrapper rather than zlib's.
        if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
            Z_OK)
            return {};
        std::string out(deflateBound(&z, in.size()), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
        out.resize(z.total_out);
        deflateEnd(&z);
        return done ? out : std::string();
    }
};
using Text = std::shared_ptr<Published>;

// Whether Accept-Encoding lists gzip (or *) without q=0.
bool AcceptsGzip(const char* header) {
    if (!header) return false;
    std::string_view rest(header);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == rest.npos ? std::string_view() : rest.substr(comma + 1);
        const size_t semi = item.find(';');
        std::string_view name = item.substr(0, semi);
        while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        if (name.size() == 4 ? strncasecmp(name.data(), "gzip", 4) != 0 : name != "*") continue;
        std::string_view params = semi == item.npos ? std::string_view() : item.substr(semi + 1);
        std::string compact;
        for (char c : params)
            if (c != ' ') compact += c;
        if (compact.rfind("q=0", 0) == 0 && compact.find_first_not_of("0.", 2) == compact.npos)
            continue;
        return true;
    }
    return false;
}

enum MHD_Result CountHeader(void* cls, enum MHD_ValueKind, const char* key, const char* value) {
    *static_cast<size_t*>(cls) += std::strlen(key) + 2 + (value ? std::strlen(value) : 0) + 2;
    return MHD_YES;
}

// The raw URI's length, kept as the request's context: the URL the handler
// gets has lost its query string. Stored in the pointer itself, so a request
// the library refuses before the handler leaves nothing to free.
void* UriLength(void*, const char* uri, struct MHD_Connection*) {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(std::strlen(uri)) + 1);
}

enum MHD_Result Send(MHD_Connection* connection, unsigned status, MHD_Response* response,
                     const char* type, bool close) {
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    // The body was never read: the connection cannot carry another request.
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const enum MHD_Result queued = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return queued;
}

enum MHD_Result SendText(MHD_Connection* connection, unsigned status, std::string text,
                         bool close) {
    MHD_Response* response =
        MHD_create_response_from_buffer(text.size(), text.data(), MHD_RESPMEM_MUST_COPY);
    if (response && status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    return Send(connection, status, response, kPlainText, close);
}

// A request's context once its head passed the checks.
char kHeadChecked;

enum MHD_Result SendUnauthorized(MHD_Connection* connection, bool close) {
    static constexpr std::string_view kText = "401 Unauthorized\n";
    MHD_Response* response = MHD_create_response_from_buffer(
        kText.size(), const_cast<char*>(kText.data()), MHD_RESPMEM_PERSISTENT);
    if (!response) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, kPlainText);
    if (close) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const enum MHD_Result queued =
        MHD_queue_basic_auth_fail_response(connection, "quarnel exporter", response);
    MHD_destroy_response(response);
    return queued;
}

void ReleaseText(void* cls) {
    delete static_cast<Text*>(cls);
}

// Blocks SIGINT and SIGTERM in the threads started while it lives, so the
// signals wake the poller's sleep rather than a server thread.
class SignalsBlocked {
  public:
    SignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, &saved_);
    }
    ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

  private:
    sigset_t saved_;
};

// A listening socket of our own: a taken port is an error with its reason,
// and no SO_REUSEPORT lets a second exporter share the port.
int Listen(const ListenAddress& address) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    const int gai = ::getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
    if (gai != 0)
        throw std::runtime_error("cannot listen on " + ListenAddressText(address) + ": " +
                                 ::gai_strerror(gai));
    int error = 0;
    int socket = -1;
    for (const addrinfo* at = found; at && socket < 0; at = at->ai_next) {
        socket = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          at->ai_protocol);
        if (socket < 0) {
            error = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(socket, at->ai_addr, at->ai_addrlen) != 0 || ::listen(socket, SOMAXCONN) != 0) {
            error = errno;
            ::close(socket);
            socket = -1;
        }
    }
    ::freeaddrinfo(found);
    if (socket < 0)
        throw std::runtime_error("cannot listen on " + ListenAddressText(address) + ": " +
                                 std::strerror(error));
    return socket;
}

int BoundPort(int socket) {
    sockaddr_storage at{};
    socklen_t size = sizeof at;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&at), &size) != 0) return -1;
    if (at.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&at)->sin_port);
    if (at.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&at)->sin6_port);
    return -1;
}

}  // namespace

struct MetricsServer::Impl {
    MHD_Daemon* daemon = nullptr;
    ListenAddress bound;
    WebConfig web;  // the daemon reads its certificate and key from here
    std::mutex mutex;
    Text text;
    std::set<std::string> verified;  // name and password of logins that matched

    Text latest() {
        std::lock_guard lock(mutex);
        return text;
    }

    // bcrypt is slow on purpose, so a login that matched once is remembered.
    bool authorized(MHD_Connection* connection) {
        if (web.users.empty()) return true;
        char* password = nullptr;
        char* name = MHD_basic_auth_get_username_password(connection, &password);
        const bool given = name != nullptr;
        const std::string user = name ? name : "", secret = password ? password : "";
        MHD_free(name);
        MHD_free(password);
        if (!given) return false;
        const std::string login = user + '\0' + secret;
        {
            std::lock_guard lock(mutex);
            if (verified.count(login)) return true;
        }
        const auto known = web.users.find(user);
        // An unknown name costs the same hashing as a known one.
        const bool ok =
            PasswordMatches(known != web.users.end() ? known->second : web.users.begin()->second,
                            secret) &&
            known != web.users.end();
        std::lock_guard lock(mutex);
        if (ok && verified.size() < 64) verified.insert(login);
        return ok;
    }

    static enum MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url,
                                  const char* method, const char* version, const char*, size_t*,
                                  void** context) {
        Impl& s = *static_cast<Impl*>(cls);
        const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                         MHD_HTTP_HEADER_CONTENT_LENGTH);
        const bool body = (length && std::strcmp(length, "0") != 0) ||
                          MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                      MHD_HTTP_HEADER_TRANSFER_ENCODING);
        if (*context != &kHeadChecked) {
            const size_t uri = reinterpret_cast<uintptr_t>(*context) - 1;
            const size_t line = std::strlen(method) + 1 + uri + 1 + std::strlen(version);
            if (line > kMaxRequestLine)
                return SendText(connection, MHD_HTTP_URI_TOO_LONG, "414 URI Too Long\n", true);
            size_t head = line + 2 + 2;
            MHD_get_connection_values(connection, MHD_HEADER_KIND, CountHeader, &head);
            if (head > kMaxHead)
                return SendText(connection, MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE,
                                "431 Request Header Fields Too Large\n", true);
            // A request with a body is answered now, before any of it is read:
            // the library then discards it and closes the connection. One
            // without is answered on the next call, which keeps it alive.
            if (!body) {
                *context = &kHeadChecked;
                return MHD_YES;
            }
        }
        if (!s.authorized(connection)) return SendUnauthorized(connection, body);
        const std::string_view verb(method);
        if (verb != MHD_HTTP_METHOD_GET && verb != MHD_HTTP_METHOD_HEAD)
            return SendText(connection, MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed\n", body);
        const std::string_view path(url);
        if (path == "/") {
            MHD_Response* response = MHD_create_response_from_buffer(
                kIndexPage.size(), const_cast<char*>(kIndexPage.data()), MHD_RESPMEM_PERSISTENT);
            return Send(connection, MHD_HTTP_OK, response, "text/html; charset=utf-8", body);
        }
        if (path != "/metrics")
            return SendText(connection, MHD_HTTP_NOT_FOUND, "404 Not Found\n", body);

        // The response holds the text it answers with, so a publish during the
        // scrape changes nothing of it.
        auto* held = new Text(s.latest());
        const bool gzip = AcceptsGzip(MHD_lookup_connection_value(
                              connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING)) &&
                          !(*held)->zipped().empty();
        const std::string& bytes = gzip ? (*held)->zipped() : (*held)->text;
        MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
            bytes.size(), const_cast<char*>(bytes.data()), ReleaseText, held);
        if (!response) {
            delete held;
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_VARY, MHD_HTTP_HEADER_ACCEPT_ENCODING);
        if (gzip) MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "gzip");
        return Send(connection, MHD_HTTP_OK, response, kExpositionContentType, body);
    }
};

MetricsServer::MetricsServer(const ListenAddress& address, std::string firstText, WebConfig web)
    : impl_(std::make_unique<Impl>()) {
    Impl& s = *impl_;
    s.text = std::make_shared<Published>(std::move(firstText));
    s.web = std::move(web);
    const bool tls = !s.web.certPem.empty();
    if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
        throw std::runtime_error("cannot serve over TLS: libmicrohttpd was built without it");
    MHD_OptionItem tlsOptions[] = {
        {MHD_OPTION_HTTPS_MEM_CERT, 0, s.web.certPem.data()},
        {MHD_OPTION_HTTPS_MEM_KEY, 0, s.web.keyPem.data()},
        {MHD_OPTION_END, 0, nullptr},
    };
    const int socket = Listen(address);
    s.bound = {address.host, BoundPort(socket)};
    SignalsBlocked blocked;
    // MHD_USE_ITC: the stop wakes the workers through an eventfd. Without it the
    // wake-up is the listening socket's, which a worker at its connection limit
    // no longer watches, and the stop waited for the next idle timeout.
    const unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ITC | (tls ? MHD_USE_TLS : 0);
    s.daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &Impl::Answer, &s,          //
                                MHD_OPTION_LISTEN_SOCKET, socket,                       //
                                MHD_OPTION_THREAD_POOL_SIZE, kWorkers,                  //
                                MHD_OPTION_CONNECTION_LIMIT, kMaxConnections,           //
                                MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeoutSeconds,     //
                                MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,  //
                                MHD_OPTION_URI_LOG_CALLBACK, &UriLength, nullptr, MHD_OPTION_ARRAY,
                                tls ? tlsOptions : tlsOptions + 2, MHD_OPTION_END);
    // On failure the socket is left open: whether the library closed it is not said.
    if (!s.daemon)
        throw std::runtime_error("cannot serve on " + ListenAddressText(address) +
                                 (tls ? ": TLS did not start with the certificate and key given"
                                      : ": the HTTP server did not start"));
}

MetricsServer::~MetricsServer() {
    stop();
}

ListenAddress MetricsServer::address() const {
    return impl_->bound;
}

void MetricsServer::publish(std::string text) {
    auto next = std::make_shared<Published>(std::move(text));
    std::lock_guard lock(impl_->mutex);
    impl_->text.swap(next);
}

void MetricsServer::stop() {
    // Closes every connection, however slow its client, and joins the workers.
    if (impl_->daemon) MHD_stop_daemon(impl_->daemon);
    impl_->daemon = nullptr;
}

}  // namespace quarnel::serve
