#include "reports/summary_report.h"

#include <gtest/gtest.h>

#include "files/digest.h"
#include "support/pdf_check.h"

namespace {

// Five-minute readings at 5.0 C with 13 warm hours at 8.5 C.
MemoryImage WarmNight() {
    ImageSpec spec;
    spec.sample_rate = 300;
    spec.t_low_ad = AdForTenths(20);
    spec.t_high_ad = AdForTenths(80);
    spec.serial = 70123;
    spec.description = "Geladeira \xC9";
    spec.readings.assign(200, AdForTenths(50));
    spec.readings.insert(spec.readings.begin() + 20, 156, AdForTenths(85));
    return BuildImage(spec, 900);
}

std::size_t Position(const std::string& text, const std::string& part) {
    const std::size_t at = text.find(part);
    EXPECT_NE(at, std::string::npos) << part << " in\n" << text;
    return at;
}

TEST(SummaryReportTest, TheVerdictComesFirstThenEachRuleWithWhatWasMeasured) {
    const RecordingSummary s = SummarizeImage(WarmNight(), *BuiltInProfile("oms-30dtr"));
    const std::string path = FreshPath("resumo.pdf");
    std::string error;
    ASSERT_TRUE(WriteSummaryReport(path, s, -3, DataFileSha256(WarmNight()), &error)) << error;
    const CheckedPdf pdf = CheckPdf(path);
    const std::string& text = pdf.text;
    // The card's 10:00 start, shown three hours earlier as the other reports show it.
    const std::size_t verdict = Position(text, "REPROVADO\nperfil oms-30dtr\n");
    EXPECT_LT(verdict, Position(text, "Regras do perfil"));
    Position(text, "Descrição: Geladeira É");
    Position(text, "Período: 05/03/2014 07:05:00 a 06/03/2014 12:40:00 (GMT -3)");
    Position(text, "congelamento: temperatura <= -0.5 °C por 1h seguidas 0s aprovada");
    Position(text, "calor: temperatura >= 8.0 °C por 10h seguidas 13h 0min 0s REPROVADA");
    Position(text, "Em ou acima de 8.0 °C total 13h 0min 0s maior 13h 0min 0s 1 episódio");
    Position(text, "Alarme superior: 1 episódio, maior 12h 45min 0s");
    EXPECT_FALSE(Has(text, "APROVADO"));
    EXPECT_TRUE(Has(pdf.pages[0], "0.8 0 0 rg\n25 738 Td\n(REPROVADO)"));
    // Bound to the data it was made from.
    EXPECT_TRUE(Has(pdf.bytes, "/Title (Resumo do registro \x85 Serial 70123)\n/Keywords (sha256:" +
                                   DataFileSha256(WarmNight()) + ")\n/Creator"));
}

TEST(SummaryReportTest, ApprovedInGreenAndTheCardsOwnTimeAndAnEmptyRecording) {
    const RecordingSummary s = SummarizeImage(WarmNight(), *BuiltInProfile("usp-crt"));
    const std::string path = FreshPath("aprovado.pdf");
    std::string error;
    ASSERT_TRUE(WriteSummaryReport(path, s, 0, DataFileSha256(WarmNight()), &error)) << error;
    const CheckedPdf pdf = CheckPdf(path);
    EXPECT_TRUE(Has(pdf.pages[0], "0 0.5 0 rg\n25 738 Td\n(APROVADO)"));
    Position(pdf.text, "Período: 05/03/2014 10:05:00 a 06/03/2014 15:40:00 (GMT-0)");
    Position(pdf.text, "pico: temperatura > 40.0 °C em qualquer leitura 0s aprovada");
    Position(pdf.text, "calor: temperatura > 30.0 °C por 24h somadas 0s aprovada");

    const MemoryImage none = BuildImage(ImageSpec{});
    const std::string empty = FreshPath("vazio.pdf");
    ASSERT_TRUE(WriteSummaryReport(empty, SummarizeImage(none, *BuiltInProfile("usp-crt")), -3,
                                   DataFileSha256(none), &error));
    const std::string text = CheckPdf(empty).text;
    Position(text, "Período: sem leituras");
    Position(text, "mkt: MKT <= 25.0 °C - aprovada");
}

TEST(SummaryReportTest, TheWindowsVerdictLineNamesEachFailedRule) {
    const auto verdict = [](const char* profile) {
        return VerdictLineText(SummarizeImage(WarmNight(), *BuiltInProfile(profile)));
    };
    EXPECT_EQ(verdict("usp-crt"), "APROVADO — perfil usp-crt");
    EXPECT_EQ(verdict("cartao"),
              "REPROVADO — perfil cartao: alarme-superior acima do limite por 12h 45min");
    const auto strict = std::get<Profile>(ParseProfile("estrito",
                                                       "m: mkt <= 5.5\n"
                                                       "f: temperature < 6 for 90s cumulative\n"
                                                       "q: temperature > 8.4 for 1h single\n"));
    EXPECT_EQ(VerdictLineText(SummarizeImage(WarmNight(), strict)),
              "REPROVADO — perfil estrito: m MKT 6,72 °C > 5,5 °C; f 16h 40min < 6,0 °C; "
              "q 13h > 8,4 °C");
}

}  // namespace
