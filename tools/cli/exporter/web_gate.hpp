// SPDX-License-Identifier: MIT
// What the web configuration file asks of every request before it is served: a verified client
// certificate where the TLS settings require one (403 without), and a basic auth user's password
// where the file names users (401 without, asking for basic auth), as the file stands.
#pragma once

#include "exporter/basic_auth.hpp"
#include "exporter/http_server.hpp"
#include "exporter/web_config_watch.hpp"

#include <memory>

namespace kexp {

HttpServer::Gate web_gate(std::shared_ptr<WebConfigWatch> config);

}  // namespace kexp
