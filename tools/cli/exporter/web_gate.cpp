// SPDX-License-Identifier: MIT
#include "exporter/web_gate.hpp"

namespace kexp {

HttpServer::Gate web_gate(std::shared_ptr<WebConfigWatch> config) {
    auto auth = std::make_shared<BasicAuth>();
    return [config, auth](const HttpRequest& request) -> std::optional<HttpAnswer> {
        const std::shared_ptr<const WebConfig> now = config->current();
        const ClientCerts certs = now->tls ? now->tls->client_certs : ClientCerts::NONE;
        const HttpRequest::ClientCert shown = request.client_cert();
        if ((certs == ClientCerts::REQUIRE_AND_VERIFY &&
             shown != HttpRequest::ClientCert::VERIFIED) ||
            (certs == ClientCerts::VERIFY_IF_GIVEN &&
             shown == HttpRequest::ClientCert::NOT_VERIFIED))
            return HttpAnswer{403, "text/plain; charset=utf-8",
                              "A client certificate the client CA verifies is required\n"};
        if (!auth->allows(now->users, request.user(), request.password()))
            return HttpAnswer{401, "text/plain; charset=utf-8", "Unauthorized\n"};
        return std::nullopt;
    };
}

}  // namespace kexp
