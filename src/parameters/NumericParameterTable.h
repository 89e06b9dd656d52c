#pragma once

// The one list of the viewer's numeric operation parameters, in the order the editor shows them and
// the definitions file is read (Setting reads the other definitions in between where that order
// puts them). Each row: X(name, caption, lower, upper, point, default)
//   name       the member of Setting and of QZ_FPSControllerParameter, the key in
//              FPSControllerParameter.json, the prefix of the definitions file's keys
//              (name_caption, name_lower, name_upper, name_point, name_default) and the suffix of
//              the editor's outlets (label_name, textField_name, stepper_name, label_name_now);
//   the rest   the built-in definition, as text, for keys the definitions file does not give.
// A new parameter is one row here and its controls in ViewControllerFPSControllerParameter.ui.
// NumericParameter::all() is this list as data.

// clang-format off
#define DRAVIK_NUMERIC_PARAMETERS(X)                                                               \
    X(rotateSpeed_mouse,          "マウスの反応速度(向き)",           "1",   "50",   "0", "20")    \
    X(rotateSpeed_arrow,          "矢印キーの反応速度(向き)",         "1",   "50",   "0", "40")    \
    X(moveSpeed_pc,               "歩く速さ[↑]",                      "0.1", "2",    "1", "1")     \
    X(moveSpeed_wheel,            "マウスホイールで進む距離の調整",   "1",   "3",    "1", "2")     \
    X(dashMoveSpeedRate,          "走る速さ[Shift]+[↑]操作時の速度",  "1.1", "2.5",  "1", "2")     \
    X(cameraPitchUpperLimit,      "上向きの上限角度",                 "10",  "90",   "0", "20")    \
    X(cameraPitchUnderLimit,      "下向きの下限角度",                 "-90", "-10",  "0", "-30")   \
    X(mouseSmoothingRate,         "マウススムージングの掛かり具合",   "-100", "100", "2", "0.5")   \
    X(optionRotateSpeedRate,      "回転速度倍率",                     "1.0", "1.0",  "1", "1.0")   \
    X(optionMoveSpeedRate,        "移動速度倍率",                     "1.0", "1.0",  "1", "1.0")   \
    X(optionEnvironmentRate,      "足音や選択時の環境音の大きさ",     "-80", "20",   "0", "-30")   \
    X(optionBGMRate,              "会場の雰囲気BGM音量",              "0",   "1",    "2", "0.5")   \
    X(showroomBGMRate,            "ショールームのBGM音量",            "0",   "1",    "2", "0.5")   \
    X(boothRangeUnderLimit,       "ブース表示範囲の下限",             "0",   "200",  "0", "0")     \
    X(boothObjectRangeUnderLimit, "ブースオブジェクト表示範囲の下限", "0",   "200",  "0", "0")     \
    X(boothRange,                 "ブース表示範囲",                   "0",   "200",  "0", "50")    \
    X(boothObjectRange,           "ブースオブジェクト表示範囲",       "0",   "200",  "0", "30")    \
    X(dataValidTime,              "会場データの保持時間(分)",         "0",   "720",  "0", "120")   \
    X(sendRecordTime,             "行動履歴のアップロード間隔(秒)",   "10",  "3600", "0", "60")
// clang-format on
