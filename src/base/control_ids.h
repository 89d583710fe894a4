#pragma once
// Identifiers of windows, controls and menu items shared by the core and the windows.

enum class WindowId { Main, Data, Config, Graph, About };

// Main window
constexpr int BT_OPEN = 100;
constexpr int BT_READ = 101;
constexpr int BT_CONFIG = 104;
constexpr int BT_INFO = 105;
constexpr int BT_QUIT = 106;
constexpr int BT_CANCEL = 109;
constexpr int ID_STATUS = 1;
constexpr int ID_PROGRESS = 2;
constexpr int ID_BATTERY = 3;  // label of the battery reply
constexpr int PROGRESS_RANGE_MAX = 656;

// Menu
constexpr int IDM_FILEOPEN = 200;
constexpr int IDM_FILEVERIFY = 201;
constexpr int IDM_FILEEXIT = 204;
constexpr int IDM_DATACANCEL = 210;
constexpr int IDM_DATAREAD = 211;
constexpr int IDM_DATASTATION = 212;
constexpr int IDM_CONFIG = 215;
constexpr int IDM_HELPCONVINFO = 221;
constexpr int IDM_HELPABOUT = 222;

// Data window; the column captions are buttons that do nothing.
constexpr int BT_LOG = 150;
constexpr int BT_HOUR = 151;
constexpr int BT_DATE = 152;
constexpr int BT_TIN = 153;
constexpr int BT_T1 = 155;
constexpr int BT_H1 = 156;
constexpr int BT_DATA_SAVE = 300;
constexpr int BT_DATA_EXPORT = 301;
constexpr int BT_DATA_PDF = 302;
constexpr int BT_DATA_PRINT = 303;
constexpr int BT_DATA_GRAPH = 304;
constexpr int BT_DATA_QUIT = 305;
constexpr int BT_DATA_PDF_GRAPH = 306;
constexpr int TXT_VERDICT = 307;
constexpr int CB_PROFILE = 308;
constexpr int BT_DATA_PDF_SUMMARY = 309;
constexpr int TXT_SERIAL = 501;
constexpr int LIST1 = 1009;
constexpr int CB_CONVERTER_HORARIO_LOCAL = 700;

// Graph window
constexpr int BT_GRAPH_CLOSE = 600;

// Configuration window: its fields, which have no ids of their own elsewhere, from 600 on.
constexpr int BT_CONFIG_OPEN = 500;
constexpr int BT_CONFIG_SAVE = 503;
constexpr int BT_CONFIG_WRITE = 504;
constexpr int BT_CONFIG_QUIT = 505;
constexpr int CFG_SAMPLE_POINTS = 600;
constexpr int CFG_SAMPLE_RATE = 601;
constexpr int CFG_REC_TIME = 602;
constexpr int CFG_LED_CYCLE = 603;
constexpr int CFG_SERIAL = 604;
constexpr int CFG_DESCRICAO = 605;
constexpr int CFG_NUVEM = 606;
constexpr int CFG_FLASH_ALARM = 607;
constexpr int CFG_TEMP_LOW = 608;
constexpr int CFG_TEMP_HIGH = 609;
constexpr int CFG_TEMP_UNIT = 610;
constexpr int CFG_START_DELAY = 611;
constexpr int CFG_ALARM_DELAY = 612;
