<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
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
</TS>
