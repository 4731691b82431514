// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --web.config.file: TLS and basic authentication for the exporter, in the
// YAML the Prometheus exporters share:
//   tls_server_config: {cert_file: FILE, key_file: FILE}
//   basic_auth_users: {NAME: BCRYPT-HASH, ...}
// Fields this exporter cannot honour are refused rather than ignored.

#include <map>
#include <string>

namespace quarnel::serve {

struct WebConfig {
    std::string certPem;                       // empty: plain HTTP
    std::string keyPem;                        // PEM, read once at the start
    std::map<std::string, std::string> users;  // name -> bcrypt hash; empty: no authentication
};

// Relative file names are taken from the config file's folder. Throws
// std::invalid_argument with the message for the user.
WebConfig LoadWebConfig(const std::string& path);

// Whether password hashes to hash (bcrypt, through libcrypt).
bool PasswordMatches(const std::string& hash, const std::string& password);

}  // namespace quarnel::serve
