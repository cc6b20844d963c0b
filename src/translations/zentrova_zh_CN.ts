<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>QApplication</name>
    <message>
        <source>Error</source>
        <translation>错误</translation>
    </message>
    <message>
        <source>Only one instance can run at the same time!</source>
        <translation>同时只能运行一个实例！</translation>
    </message>
</context>
</TS>
