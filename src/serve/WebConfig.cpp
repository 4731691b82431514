// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/WebConfig.h"

#include <crypt.h>
#include <yaml-cpp/yaml.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace quarnel::serve {
namespace {

std::string ReadFile(const std::filesystem::path& file, const std::string& shown) {
    std::ifstream in(file, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (!in.is_open() || in.bad())
        throw std::invalid_argument(shown + "cannot read " + file.string());
    return text;
}

std::string Scalar(const YAML::Node& node, const std::string& name, const std::string& shown) {
    if (!node.IsScalar() || node.Scalar().empty())
        throw std::invalid_argument(shown + name + " must be a non-empty text");
    return node.Scalar();
}

}  // namespace

WebConfig LoadWebConfig(const std::string& path) {
    const std::string shown = "--web.config.file \"" + path + "\": ";
    YAML::Node root;
    try {
        root = YAML::Load(ReadFile(path, shown));
    } catch (const YAML::Exception& e) {
        throw std::invalid_argument(shown + e.what());
    }
    WebConfig config;
    if (root.IsNull()) return config;
    if (!root.IsMap()) throw std::invalid_argument(shown + "expected a mapping of settings");
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (const auto& entry : root) {
        const std::string key = entry.first.as<std::string>();
        const YAML::Node& value = entry.second;
        if (key == "tls_server_config") {
            if (value.IsNull()) continue;
            if (!value.IsMap()) throw std::invalid_argument(shown + key + " must be a mapping");
            std::string cert, keyFile;
            for (const auto& tls : value) {
                const std::string name = tls.first.as<std::string>();
                if (name == "cert_file")
                    cert = Scalar(tls.second, name, shown);
                else if (name == "key_file")
                    keyFile = Scalar(tls.second, name, shown);
                else
                    throw std::invalid_argument(shown + "tls_server_config." + name +
                                                " is not supported (only cert_file and key_file)");
            }
            if (cert.empty() || keyFile.empty())
                throw std::invalid_argument(shown + "TLS needs both cert_file and key_file");
            config.certPem = ReadFile(folder / cert, shown);
            config.keyPem = ReadFile(folder / keyFile, shown);
        } else if (key == "basic_auth_users") {
            if (value.IsNull()) continue;
            if (!value.IsMap()) throw std::invalid_argument(shown + key + " must be a mapping");
            for (const auto& user : value) {
                const std::string name = user.first.as<std::string>();
                const std::string hash = Scalar(user.second, "the hash of " + name, shown);
                // bcrypt only, as the other exporters take.
                if (hash.rfind("$2a$", 0) != 0 && hash.rfind("$2b$", 0) != 0 &&
                    hash.rfind("$2y$", 0) != 0)
                    throw std::invalid_argument(shown + "the hash of " + name +
                                                " is not a bcrypt hash ($2y$...)");
                config.users[name] = hash;
            }
        } else {
            throw std::invalid_argument(shown + key +
                                        " is not supported (only tls_server_config and "
                                        "basic_auth_users)");
        }
    }
    return config;
}

bool PasswordMatches(const std::string& hash, const std::string& password) {
    auto data = std::make_unique<crypt_data>();  // zeroed, as crypt_r wants it
    const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
    if (!result || std::string_view(result).size() != hash.size()) return false;
    unsigned char differ = 0;  // every byte compared, whatever the first difference
    for (size_t i = 0; i < hash.size(); ++i)
        differ |= static_cast<unsigned char>(result[i] ^ hash[i]);
    return differ == 0;
}

}  // namespace quarnel::serve
