// A fixture for tests of the graph tables without the rest of the library.
#ifndef TESSEL_TEST_GRAPH_TABLES_H
#define TESSEL_TEST_GRAPH_TABLES_H

#include "core/core.h"
#include "graphics/graph.h"
#include "support/harness.h"

#include <gtest/gtest.h>

// Tables started as the screen's mode change starts them, with the log
// written to a scratch folder.
class GraphTablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        gCore.settings.libraryDirRecorded = 1;
        gCore.settings.libraryDir = scratch_.path();
        gCore.running = 1;  // the public operations answer only inside the library's life
        SetDisplayDeviceExists(1);
        InitGraphTables();
    }
    void TearDown() override { gCore.settings.libraryDirRecorded = 0; }
    ScratchDir scratch_;
};

#endif
