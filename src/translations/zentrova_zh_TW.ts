<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
<context>
    <name>ConfigurationFile</name>
    <message>
        <source>The settings could not be saved to %1.</source>
        <translation>無法將設定儲存到 %1。</translation>
    </message>
</context>
<context>
    <name>DeviceManager</name>
    <message>
        <source>Socket error while search device: %1</source>
        <translation>搜尋裝置時發生通訊端錯誤：%1</translation>
    </message>
    <message>
        <source>VideoWall 2</source>
        <translation>影像牆 2</translation>
    </message>
    <message>
        <source>The program could not be restarted. Please close it and start it again.</source>
        <translation>程式無法重新啟動。請關閉後再次啟動。</translation>
    </message>
    <message>
        <source>The settings could not be reset: %1 can be neither deleted nor emptied.</source>
        <translation>無法恢復原廠設定：%1 既不能刪除也不能清空。</translation>
    </message>
</context>
<context>
    <name>DisplayControl</name>
    <message>
        <source>The display command "%1" cannot be sent to the decoders: it holds control characters.</source>
        <translation>顯示命令「%1」無法傳送到解碼器：其中含有控制字元。</translation>
    </message>
</context>
<context>
    <name>QApplication</name>
    <message>
        <source>Error</source>
        <translation>錯誤</translation>
    </message>
    <message>
        <source>Only one instance can run at the same time!</source>
        <translation>同時只能執行一個實例！</translation>
    </message>
</context>
<context>
    <name>Routing</name>
    <message>
        <source>The source "%1" cannot be shown: its name cannot be sent to a decoder.</source>
        <translation>無法顯示訊號源「%1」：其名稱無法傳送給解碼器。</translation>
    </message>
    <message>
        <source>The encoders cannot be told about the wall %1: a device name in it cannot be sent.</source>
        <translation>無法將影像牆 %1 通知編碼器：其中有裝置名稱無法傳送。</translation>
    </message>
</context>
</TS>
