// SPDX-License-Identifier: MIT
#include "exporter/web_config.hpp"

#include "common/yaml_file.hpp"

#include <gnutls/gnutls.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <vector>

namespace kexp {
namespace {

constexpr const char* UNSUPPORTED = "is not supported by kolvane's exporter";

// The web configuration file, and the files it names as they were read.
class Reader : public kcli::YamlFile {
public:
    explicit Reader(const std::string& path) : YamlFile("web config", path), files_{path} {}

    std::string file(const std::string& name, const std::string& key) const {
        std::filesystem::path file(name);
        if (file.is_relative()) file = std::filesystem::path(path()).parent_path() / file;
        std::ifstream in(file, std::ios::binary);
        if (!in) fail(key + ": cannot read " + file.string());
        files_.push_back(file.string());
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    const std::vector<std::string>& files() const { return files_; }

private:
    mutable std::vector<std::string> files_;
};

// Whether GnuTLS takes the certificate with the key; its reason when it does not.
std::string key_problem(const std::string& cert_pem, const std::string& key_pem) {
    gnutls_certificate_credentials_t credentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&credentials) < 0) return "out of memory";
    const gnutls_datum_t cert{reinterpret_cast<unsigned char*>(const_cast<char*>(cert_pem.data())),
                              static_cast<unsigned>(cert_pem.size())};
    const gnutls_datum_t key{reinterpret_cast<unsigned char*>(const_cast<char*>(key_pem.data())),
                             static_cast<unsigned>(key_pem.size())};
    const int status = gnutls_certificate_set_x509_key_mem2(credentials, &cert, &key,
                                                            GNUTLS_X509_FMT_PEM, nullptr, 0);
    gnutls_certificate_free_credentials(credentials);
    return status < 0 ? gnutls_strerror(status) : "";
}

// "TLS12" -> 2 (TLS 1.2); the protocol versions GnuTLS takes are named VERS-TLS1.N.
int tls_minor(const Reader& reader, const std::string& name, const std::string& key) {
    static const std::map<std::string, int> versions = {
        {"TLS10", 0}, {"TLS11", 1}, {"TLS12", 2}, {"TLS13", 3}};
    const auto found = versions.find(name);
    if (found == versions.end()) reader.fail(key + " must be TLS10, TLS11, TLS12 or TLS13");
    return found->second;
}

TlsSettings read_tls(const Reader& reader, const YAML::Node& node) {
    const std::string where = "tls_server_config";
    reader.check_keys(node, where,
                      {"cert_file", "key_file", "client_auth_type", "client_ca_file", "min_version",
                       "max_version"},
                      UNSUPPORTED);
    TlsSettings tls;
    const std::string cert = reader.text(node, "cert_file", where);
    const std::string key = reader.text(node, "key_file", where);
    if (cert.empty() || key.empty()) reader.fail(where + " needs cert_file and key_file");
    tls.cert_pem = reader.file(cert, where + ".cert_file");
    tls.key_pem = reader.file(key, where + ".key_file");
    if (const std::string problem = key_problem(tls.cert_pem, tls.key_pem); !problem.empty())
        reader.fail(where + ".cert_file and key_file: " + problem);

    const std::string auth = reader.text(node, "client_auth_type", where);
    if (auth == "VerifyClientCertIfGiven")
        tls.client_certs = ClientCerts::VERIFY_IF_GIVEN;
    else if (auth == "RequireAndVerifyClientCert")
        tls.client_certs = ClientCerts::REQUIRE_AND_VERIFY;
    else if (!auth.empty() && auth != "NoClientCert")
        reader.fail(where + ".client_auth_type " + auth +
                    " is not supported: NoClientCert, VerifyClientCertIfGiven or "
                    "RequireAndVerifyClientCert");
    const std::string ca = reader.text(node, "client_ca_file", where);
    if (tls.client_certs != ClientCerts::NONE && ca.empty())
        reader.fail(where + ".client_auth_type " + auth + " needs client_ca_file");
    if (!ca.empty()) tls.client_ca_pem = reader.file(ca, where + ".client_ca_file");

    const std::string min_name = reader.text(node, "min_version", where);
    const std::string max_name = reader.text(node, "max_version", where);
    const int min = min_name.empty() ? 2 : tls_minor(reader, min_name, where + ".min_version");
    const int max = max_name.empty() ? 3 : tls_minor(reader, max_name, where + ".max_version");
    if (min > max) reader.fail(where + ".min_version lies above max_version");
    tls.priorities = "NORMAL:-VERS-ALL";
    for (int minor = max; minor >= min; --minor)
        tls.priorities += ":+VERS-TLS1." + std::to_string(minor);
    return tls;
}

}  // namespace

WebConfig read_web_config(const std::string& path) {
    const Reader reader(path);
    const YAML::Node& root = reader.root();
    WebConfig config;
    config.files = reader.files();
    if (root.IsNull()) return config;  // an empty file: plain HTTP, no users
    try {
        reader.check_keys(root, "", {"tls_server_config", "basic_auth_users"}, UNSUPPORTED);
        if (root["tls_server_config"]) config.tls = read_tls(reader, root["tls_server_config"]);
        if (const YAML::Node users = root["basic_auth_users"]) {
            if (!users.IsMap()) reader.fail("basic_auth_users must map names to bcrypt hashes");
            for (const auto& user : users) {
                const std::string name = user.first.as<std::string>();
                const std::string hash = user.second.as<std::string>();
                if (!hash.starts_with("$2"))
                    reader.fail("basic_auth_users." + name +
                                " is no bcrypt hash ($2a$, $2b$, $2y$)");
                config.users[name] = hash;
            }
        }
    } catch (const YAML::Exception& e) {
        reader.fail(e.what());
    }
    config.files = reader.files();
    return config;
}

}  // namespace kexp
