<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>ConfigurationFile</name>
    <message>
        <source>The settings could not be saved to %1.</source>
        <translation>无法将设置保存到 %1。</translation>
    </message>
</context>
<context>
    <name>DeviceManager</name>
    <message>
        <source>Socket error while search device: %1</source>
        <translation>搜索设备时发生套接字错误：%1</translation>
    </message>
    <message>
        <source>VideoWall 2</source>
        <translation>视频墙 2</translation>
    </message>
    <message>
        <source>The program could not be restarted. Please close it and start it again.</source>
        <translation>程序无法重新启动。请关闭后再次启动。</translation>
    </message>
    <message>
        <source>The settings could not be reset: %1 can be neither deleted nor emptied.</source>
        <translation>无法恢复出厂设置：%1 既不能删除也不能清空。</translation>
    </message>
</context>
<context>
    <name>DisplayControl</name>
    <message>
        <source>The display command "%1" cannot be sent to the decoders: it holds control characters.</source>
        <translation>显示命令“%1”无法发送到解码器：其中含有控制字符。</translation>
    </message>
</context>
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
<context>
    <name>Routing</name>
    <message>
        <source>The source "%1" cannot be shown: its name cannot be sent to a decoder.</source>
        <translation>无法显示信号源“%1”：其名称无法发送给解码器。</translation>
    </message>
    <message>
        <source>The encoders cannot be told about the wall %1: a device name in it cannot be sent.</source>
        <translation>无法将视频墙 %1 通知编码器：其中有设备名称无法发送。</translation>
    </message>
</context>
</TS>
