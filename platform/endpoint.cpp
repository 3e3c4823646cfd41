// Endpoint texts: "tcp:HOST:PORT" (an IPv6 host in brackets) and "unix:PATH".
#include "platform/socket.h"

#include <charconv>

namespace kestrel::platform {

namespace {

constexpr std::string_view TCP_PREFIX = "tcp:";
constexpr std::string_view UNIX_PREFIX = "unix:";

std::optional<Endpoint> fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return std::nullopt;
}

std::optional<uint16_t> parsePort(std::string_view text) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::optional<Endpoint> parseTcp(std::string_view rest, std::string_view text, std::string* error) {
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return fail(error, "missing port in \"" + std::string(text) + "\"");
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    if (host.empty()) return fail(error, "missing host in \"" + std::string(text) + "\"");
    if (host.find_first_of("[] \t") != std::string_view::npos)
        return fail(error, "bad host in \"" + std::string(text) + "\"");
    const auto port = parsePort(rest.substr(colon + 1));
    if (!port) return fail(error, "bad port in \"" + std::string(text) + "\"");
    Endpoint endpoint;
    endpoint.kind = Endpoint::Kind::Tcp;
    endpoint.host = std::string(host);
    endpoint.port = *port;
    return endpoint;
}

}  // namespace

std::string Endpoint::toString() const {
    if (kind == Kind::Unix) return std::string(UNIX_PREFIX) + path;
    const bool bracket = host.find(':') != std::string::npos;
    return std::string(TCP_PREFIX) + (bracket ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<Endpoint> parseEndpoint(std::string_view text, std::string* error) {
    if (text.substr(0, TCP_PREFIX.size()) == TCP_PREFIX) return parseTcp(text.substr(TCP_PREFIX.size()), text, error);
    if (text.substr(0, UNIX_PREFIX.size()) == UNIX_PREFIX) {
        const std::string_view path = text.substr(UNIX_PREFIX.size());
        if (path.empty()) return fail(error, "missing path in \"" + std::string(text) + "\"");
        Endpoint endpoint;
        endpoint.kind = Endpoint::Kind::Unix;
        endpoint.path = std::string(path);
        return endpoint;
    }
    return fail(error, "endpoint \"" + std::string(text) + "\" is neither tcp:HOST:PORT nor unix:PATH");
}

}  // namespace kestrel::platform
