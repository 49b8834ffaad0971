// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/sem.h>
#include <unistd.h>

#include "osa/osa.h"
#include "tests/unit/test_support.h"

namespace {

// A semaphore set of its own for every test, removed afterwards.
class Sem : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = make_temp_dir("osa_sem");
        ASSERT_FALSE(dir_.empty());
        key_ = OSA_ipcMakeKey(dir_.c_str(), 's');
        ASSERT_NE(key_, -1);
    }
    void TearDown() override {
        int id = semget(key_, 0, 0666);
        if (id >= 0)
            semctl(id, 0, IPC_RMID);
        rmdir(dir_.c_str());
    }
    std::string dir_;
    key_t key_ = -1;
};

TEST_F(Sem, MakeKeyFailsForMissingPath) {
    EXPECT_EQ(OSA_ipcMakeKey("/nonexistent/osa/path/", 's'), -1);
}

TEST_F(Sem, CreateClampsInitialValueAndSecondCreateFails) {
    OSA_IpcSem sem{};
    ASSERT_EQ(OSA_ipcSemOpen(&sem, key_, 3, 5, 1, OSA_IPC_CREATE), 0);
    for (unsigned i = 0; i < 3; i++)
        EXPECT_EQ(OSA_ipcSemGetVal(&sem, i), 1);
    OSA_IpcSem again{};
    EXPECT_EQ(OSA_ipcSemOpen(&again, key_, 3, 1, 1, OSA_IPC_CREATE), -1);
    EXPECT_EQ(OSA_ipcSemWait(&sem, 1, -1), 0);
    OSA_IpcSem opened{};
    ASSERT_EQ(OSA_ipcSemOpen(&opened, key_, 3, 0, 1, 0), 0);
    EXPECT_EQ(opened.semId, sem.semId);
    EXPECT_EQ(OSA_ipcSemGetVal(&opened, 1), 0) << "opening leaves values as they are";
}

TEST_F(Sem, MoreThanThirtyTwoSemaphoresAreRefused) {
    OSA_IpcSem sem{};
    sem.semId = -7;
    EXPECT_EQ(OSA_ipcSemOpen(&sem, key_, 33, 1, 1, OSA_IPC_CREATE), -1);
    EXPECT_EQ(sem.semId, -7);
}

TEST_F(Sem, WaitPostDisciplineWithMaximumAndIndexChecks) {
    OSA_IpcSem sem{};
    ASSERT_EQ(OSA_ipcSemOpen(&sem, key_, 1, 1, 1, OSA_IPC_CREATE), 0);
    EXPECT_EQ(OSA_ipcSemPost(&sem, 0, -1), 0) << "a surplus post is harmless";
    EXPECT_EQ(OSA_ipcSemGetVal(&sem, 0), 1);
    EXPECT_EQ(OSA_ipcSemWait(&sem, 0, 0), 0);
    EXPECT_EQ(OSA_ipcSemWait(&sem, 0, 0), -1) << "non-blocking wait on 0 fails at once";
    EXPECT_EQ(OSA_ipcSemPost(&sem, 0, -1), 0);
    EXPECT_EQ(OSA_ipcSemGetVal(&sem, 0), 1);
    EXPECT_EQ(OSA_ipcSemWait(&sem, 1, 0), -1);
    EXPECT_EQ(OSA_ipcSemPost(&sem, 1, 0), -1);
}

}  // namespace
