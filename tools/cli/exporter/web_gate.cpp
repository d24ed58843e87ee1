// SPDX-License-Identifier: MIT
#include "exporter/web_gate.hpp"

namespace kexp {

HttpServer::Gate web_gate(const std::string& path, const WebConfig& config) {
    const ClientCerts certs = config.tls ? config.tls->client_certs : ClientCerts::NONE;
    auto auth = std::make_shared<BasicAuth>(path, config.users);
    return [certs, auth](const HttpRequest& request) -> std::optional<HttpAnswer> {
        const HttpRequest::ClientCert shown = request.client_cert();
        if ((certs == ClientCerts::REQUIRE_AND_VERIFY &&
             shown != HttpRequest::ClientCert::VERIFIED) ||
            (certs == ClientCerts::VERIFY_IF_GIVEN &&
             shown == HttpRequest::ClientCert::NOT_VERIFIED))
            return HttpAnswer{403, "text/plain; charset=utf-8",
                              "A client certificate the client CA verifies is required\n"};
        if (!auth->allows(request.user(), request.password()))
            return HttpAnswer{401, "text/plain; charset=utf-8", "Unauthorized\n"};
        return std::nullopt;
    };
}

}  // namespace kexp
