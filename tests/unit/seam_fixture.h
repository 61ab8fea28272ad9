// The sandbox fixture of the seam tests.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "support/Sandbox.h"

class SeamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sb_ = std::make_unique<komain_test::Sandbox>("2026-12-05 18:43:10");
        root_ = sb_->Root();
    }
    void TearDown() override { sb_.reset(); }
    std::string Read(const std::string &rel) const { return sb_->Read(rel); }
    void Write(const std::string &rel, const std::string &text) const { sb_->Write(rel, text); }
    // Whether the path itself exists (a dangling link counts).
    bool Exists(const std::string &rel) const
    {
        struct stat st;
        return lstat((root_ + rel).c_str(), &st) == 0;
    }
    void Touch(const std::string &rel) const
    {
        int fd = open((root_ + rel).c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    std::unique_ptr<komain_test::Sandbox> sb_;
    std::string root_;
};
