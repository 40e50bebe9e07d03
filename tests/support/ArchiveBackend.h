#pragma once
// Archive tests run once on a SQLite file and once on a PostgreSQL server of their own (started
// in a temporary folder, Unix socket only); without the server installed that half is skipped.
#include "support/PostgresServer.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace korvat::test {

enum class Backend { SQLite, PostgreSQL };

class ArchiveBackendTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override {
        if (GetParam() == Backend::PostgreSQL) {
            if (!PostgresServer::available())
                GTEST_SKIP() << "PostgreSQL server not installed (scripts/deps installs it)";
            server = std::make_unique<PostgresServer>();
            QString error;
            ASSERT_TRUE(server->start(&error)) << error.toStdString();
            where = server->address();
        } else {
            // In a folder not made yet: opening the archive makes it.
            where = folder.path() + "/archive/archive.sqlite";
        }
    }

    QTemporaryDir folder;
    std::unique_ptr<PostgresServer> server;
    QString where;
};

inline std::string backendName(const ::testing::TestParamInfo<Backend>& info) {
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace korvat::test
