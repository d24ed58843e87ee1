// SPDX-License-Identifier: MIT
// The web configuration file Prometheus's exporters share (--web.config.file): TLS for the
// listener and basic auth users with bcrypt hashes, in the same YAML keys. Keys kolvane does not
// implement are refused, never ignored: a setting that silently did nothing would leave an
// exporter open that its owner believes closed.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kexp {

enum class ClientCerts { NONE, VERIFY_IF_GIVEN, REQUIRE_AND_VERIFY };

struct TlsSettings {
    std::string cert_pem, key_pem;  // the files' contents
    std::string client_ca_pem;      // empty: no client certificates asked for
    ClientCerts client_certs = ClientCerts::NONE;
    std::string priorities;  // GnuTLS priorities for the protocol versions allowed
    bool operator==(const TlsSettings&) const = default;
};

struct WebConfig {
    std::optional<TlsSettings> tls;
    std::map<std::string, std::string> users;  // name -> bcrypt hash
    std::vector<std::string> files;            // the file and those it names, as read
};

// Reads the file; relative paths in it count from its directory. Throws std::runtime_error
// with a one-line message naming the file and the key.
WebConfig read_web_config(const std::string& path);

}  // namespace kexp
