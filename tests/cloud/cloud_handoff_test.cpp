// A card in cloud mode: after a read the main loop uploads instead of opening the data
// window, asking the card for its version once connected.

#include <memory>

#include "cloud/fake_cloud_server.h"
#include "link/exchange.h"
#include "link/serial.h"
#include "logger/main_commands.h"
#include "logger/operation_engine.h"
#include "simcard/simulated_card.h"
#include "support/link_fixture.h"

namespace {

class CloudHandoff : public LinkTest {
  protected:
    void TearDown() override {
        ResetCardSession();
        if (card_) {
            card_->Stop();
        }
        LinkTest::TearDown();
    }

    LoopbackCollectionServer loopback;
    std::unique_ptr<SimulatedCard> card_;
};

}  // namespace

TEST_F(CloudHandoff, AReadOfACloudCardIsUploadedWithItsFreshVersion) {
    SimulatedCardOptions options;
    options.readings = 300;
    options.registration_dir = registrations;
    card_ = std::make_unique<SimulatedCard>(options);
    std::string why;
    ASSERT_TRUE(card_->Start(&why)) << why;
    MemoryImage memory = card_->Memory();
    memory[OFF_CLOUD] = 1;
    card_->SetMemory(memory);
    StartTimerThread();
    StartOperationThread();
    ASSERT_TRUE(Eventually([] { return connected && FirmwareNumber() == 103; }, 5000));

    CommandRead();
    ASSERT_TRUE(Eventually([] { return dl_state == DL_IDLE && new_data; }, 10000));
    ASSERT_TRUE(config_values.modo_nuvem);
    const int version_queries = card_->RequestsSeen("VR");

    // The main loop would upload to the built-in server; hand it the test's.
    EXPECT_EQ(EnviaNuvem(loopback.Address()), 0);

    EXPECT_EQ(card_->RequestsSeen("VR"), version_queries + 1);
    EXPECT_EQ(windows.Messages().back().text, MSG_UPLOAD_SUCCESS);
    const std::vector<StoredUpload> uploads = loopback.store->List();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].readings, 300);
    EXPECT_EQ(uploads[0].serial, 1234);
    EXPECT_EQ(uploads[0].firmware, "1.0.3");
    EXPECT_EQ(loopback.store->Readings(uploads[0].id)[0], ADToTemp_x10(ReadingAD(data_in, 0)));
}

TEST_F(CloudHandoff, TheMainLoopUploadsInsteadOfOpeningTheDataWindow) {
    // Nothing listens at the built-in address in the tests: the loop's upload reports
    // the connection failure, and no data window opens.
    SetImageFirmware(data_in, FirmwareVersion{{'1', '0', '3'}});
    data_in[21] = 0xE9;  // 2025
    data_in[22] = 0x07;
    config_values.modo_nuvem = true;
    read_ok = true;
    new_data = true;
    CheckOperationResults();
    EXPECT_FALSE(new_data);
    EXPECT_TRUE(windows.opened_windows.empty());
    EXPECT_EQ(windows.ControlText(WindowId::Main, ID_STATUS), "Enviando para servidor remoto");
    ASSERT_FALSE(windows.Messages().empty());
    config_values.modo_nuvem = false;
}
