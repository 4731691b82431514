// SPDX-License-Identifier: GPL-3.0-or-later
// --web.config.file: what it takes, what it refuses (a setting it cannot honour
// must not pass silently), and the bcrypt check of a password.

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "serve/WebConfig.h"
#include "support/TempDir.h"

namespace quarnel::serve {
namespace {

// "pw", hashed by libcrypt with cost 5.
constexpr const char* kHash = "$2y$05$abcdefghijklmnopqrstuuHIrMEWpUCQe2YqFR3sXwQ75u4od..9q";

struct WebConfigFile : testing::Test {
    test::TempDir dir;
    std::string write(const std::string& yaml) {
        std::ofstream(dir.file("web.yml")) << yaml;
        std::ofstream(dir.file("cert.pem")) << "CERT";
        std::ofstream(dir.file("key.pem")) << "KEY";
        return dir.file("web.yml");
    }
};

TEST_F(WebConfigFile, ReadsFilesBesideItAndTheUsers) {
    const WebConfig config =
        LoadWebConfig(write("tls_server_config:\n  cert_file: cert.pem\n  key_file: key.pem\n"
                            "basic_auth_users:\n  alice: '" +
                            std::string(kHash) + "'\n"));
    EXPECT_EQ(config.certPem, "CERT");
    EXPECT_EQ(config.keyPem, "KEY");
    EXPECT_EQ(config.users, (std::map<std::string, std::string>{{"alice", kHash}}));
    EXPECT_TRUE(LoadWebConfig(write("")).users.empty()) << "an empty file changes nothing";
}

TEST_F(WebConfigFile, RefusesWhatItCannotHonour) {
    const std::pair<const char*, const char*> refused[] = {
        {"http_server_config: {http2: false}\n", "http_server_config is not supported"},
        {"tls_server_config: {cert_file: cert.pem, key_file: key.pem, client_ca_file: ca.pem}\n",
         "client_ca_file is not supported"},
        {"tls_server_config: {cert_file: cert.pem}\n", "needs both cert_file and key_file"},
        {"tls_server_config: {cert_file: gone.pem, key_file: key.pem}\n", "cannot read"},
        {"basic_auth_users: {alice: pw}\n", "not a bcrypt hash"},
        {"basic_auth_users: [alice]\n", "must be a mapping"},
        {"[1, 2\n", "yaml-cpp"},
    };
    for (const auto& [yaml, message] : refused) {
        try {
            LoadWebConfig(write(yaml));
            ADD_FAILURE() << "accepted: " << yaml;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(LoadWebConfig(dir.file("missing.yml")), std::invalid_argument);
}

TEST(Password, MatchesOnlyItsHash) {
    EXPECT_TRUE(PasswordMatches(kHash, "pw"));
    for (const char* wrong : {"pW", "pw ", "", "p"}) EXPECT_FALSE(PasswordMatches(kHash, wrong));
    EXPECT_FALSE(PasswordMatches("not a hash", "pw"));
}

}  // namespace
}  // namespace quarnel::serve
