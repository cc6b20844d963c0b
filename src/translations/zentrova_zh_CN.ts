<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
    <context>
        <name>AddDeviceDialog</name>
        <message>
            <source>Viewer: sees the screens and sources</source>
            <translation>查看者：可查看屏幕和信号源</translation>
        </message>
        <message>
            <source>Operator: routes sources to screens</source>
            <translation>操作员：可将信号源切换到屏幕</translation>
        </message>
        <message>
            <source>Admin: everything, users included</source>
            <translation>管理员：全部权限，包括用户管理</translation>
        </message>
        <message>
            <source>Add a device</source>
            <translation>添加设备</translation>
        </message>
        <message>
            <source>Name (empty: one is made up):</source>
            <translation>名称（留空则自动生成）：</translation>
        </message>
        <message>
            <source>Role:</source>
            <translation>角色：</translation>
        </message>
        <message>
            <source>Screens it may operate (none ticked: all):</source>
            <translation>可操作的屏幕（不勾选则为全部）：</translation>
        </message>
        <message>
            <source>Sources it may show (none ticked: all):</source>
            <translation>可显示的信号源（不勾选则为全部）：</translation>
        </message>
        <message>
            <source>Scan the code with the phone or tablet, or open the address below on it and type the code.</source>
            <translation>用手机或平板扫描二维码，或在其上打开下方地址并输入配对码。</translation>
        </message>
        <message>
            <source>Paired as &quot;%1&quot;. It is in the users list, where it can be revoked.</source>
            <translation>已配对为“%1”。它已在用户列表中，可在那里撤销。</translation>
        </message>
        <message>
            <source>Works once, for %1:%2 more.</source>
            <translation>仅可使用一次，剩余 %1:%2。</translation>
        </message>
        <message>
            <source>The code has expired. Make a new one.</source>
            <translation>配对码已过期，请重新生成。</translation>
        </message>
        <message>
            <source>Show the code</source>
            <translation>显示配对码</translation>
        </message>
        <message>
            <source>New code</source>
            <translation>新配对码</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>关闭</translation>
        </message>
    </context>
    <context>
        <name>AdvancedPage</name>
        <message>
            <source>State:</source>
            <translation>状态：</translation>
        </message>
        <message>
            <source>Copy the token now: it is shown only this once. Control systems sign in with it.</source>
            <translation>请立即复制令牌：它只显示这一次。控制系统用它登录。</translation>
        </message>
        <message>
            <source>New token for control systems</source>
            <translation>控制系统的新令牌</translation>
        </message>
        <message>
            <source>Off: no control system can connect.</source>
            <translation>已关闭：控制系统无法连接。</translation>
        </message>
        <message>
            <source>Not running: %1</source>
            <translation>未运行：%1</translation>
        </message>
        <message>
            <source>Running on %1: %2, %3.</source>
            <translation>正在运行，地址 %1：%2，%3。</translation>
        </message>
        <message>
            <source>text port %1 over TLS</source>
            <translation>文本端口 %1（TLS 加密）</translation>
        </message>
        <message>
            <source>TLS needs both the certificate and the key.</source>
            <translation>TLS 需要同时提供证书和密钥。</translation>
        </message>
        <message>
            <source>Not an IP address, such as 192.0.2.1.</source>
            <translation>不是 IP 地址（例如 192.0.2.1）。</translation>
        </message>
        <message>
            <source>Required: 0.0.0.0 listens on every network.</source>
            <translation>必填：0.0.0.0 表示在所有网络上监听。</translation>
        </message>
        <message>
            <source>Must differ from the other ports.</source>
            <translation>必须与其他端口不同。</translation>
        </message>
        <message>
            <source>A port is a number from 1 to 65535.</source>
            <translation>端口是 1 到 65535 之间的数字。</translation>
        </message>
        <message>
            <source>MQTT and Home Assistant</source>
            <translation>MQTT 与 Home Assistant</translation>
        </message>
        <message>
            <source>Control API settings saved.</source>
            <translation>控制接口设置已保存。</translation>
        </message>
        <message>
            <source>Make a new token? Every control system that uses the current one is cut off.</source>
            <translation>生成新令牌？使用当前令牌的所有控制系统将被断开。</translation>
        </message>
        <message>
            <source>Make a token for control systems?</source>
            <translation>为控制系统生成令牌？</translation>
        </message>
        <message>
            <source>Control from other systems</source>
            <translation>由其他系统控制</translation>
        </message>
        <message>
            <source>Control API:</source>
            <translation>控制接口：</translation>
        </message>
        <message>
            <source>Listen address:</source>
            <translation>监听地址：</translation>
        </message>
        <message>
            <source>Plain text port:</source>
            <translation>未加密文本端口：</translation>
        </message>
        <message>
            <source>WebSocket and HTTP port:</source>
            <translation>WebSocket 和 HTTP 端口：</translation>
        </message>
        <message>
            <source>TLS certificate file:</source>
            <translation>TLS 证书文件：</translation>
        </message>
        <message>
            <source>TLS key file:</source>
            <translation>TLS 密钥文件：</translation>
        </message>
        <message>
            <source>the controller's own</source>
            <translation>控制器自己的</translation>
        </message>
        <message>
            <source>Apply</source>
            <translation>应用</translation>
        </message>
        <message>
            <source>Token:</source>
            <translation>令牌：</translation>
        </message>
        <message>
            <source>set</source>
            <translation>已设置</translation>
        </message>
        <message>
            <source>none yet</source>
            <translation>尚未生成</translation>
        </message>
        <message>
            <source>New token</source>
            <translation>新令牌</translation>
        </message>
        <message>
            <source>Attention</source>
            <translation>注意</translation>
        </message>
        <message>
            <source>Change password</source>
            <translation>修改密码</translation>
        </message>
        <message>
            <source>Confirm:</source>
            <translation>确认密码：</translation>
        </message>
        <message>
            <source>Customize display power on/off command</source>
            <translation>自定义显示器开关机命令</translation>
        </message>
        <message>
            <source>Do you want to reset the software?</source>
            <translation>确定要将软件恢复出厂设置吗？</translation>
        </message>
        <message>
            <source>New display power on/off command saved.</source>
            <translation>新的显示器开关机命令已保存。</translation>
        </message>
        <message>
            <source>New password:</source>
            <translation>新密码：</translation>
        </message>
        <message>
            <source>Old password incorrect, please re-enter.</source>
            <translation>旧密码不正确，请重新输入。</translation>
        </message>
        <message>
            <source>Old password:</source>
            <translation>旧密码：</translation>
        </message>
        <message>
            <source>Password changed.</source>
            <translation>密码已修改。</translation>
        </message>
        <message>
            <source>Power off:</source>
            <translation>关机：</translation>
        </message>
        <message>
            <source>Power on:</source>
            <translation>开机：</translation>
        </message>
        <message>
            <source>Reset software settings</source>
            <translation>恢复软件出厂设置</translation>
        </message>
        <message>
            <source>The password entered does not match!</source>
            <translation>两次输入的密码不一致！</translation>
        </message>
        <message>
            <source>You are in demo mode, all configurations will not be saved.</source>
            <translation>当前为演示模式，所有配置都不会被保存。</translation>
        </message>
        <message>
            <source>Route a decoder again when it comes back showing another source</source>
            <translation>解码器重新上线后显示的信号源不同时，重新切换到原信号源</translation>
        </message>
        <message>
            <source>At start, put every screen back on its saved route</source>
            <translation>启动时，将每个屏幕恢复到已保存的切换</translation>
        </message>
        <message>
            <source>text port %1 over TLS and %2 without</source>
            <translation>文本端口 %1（TLS 加密）和 %2（未加密）</translation>
        </message>
        <message>
            <source>WebSocket and HTTPS port %1</source>
            <translation>WebSocket 和 HTTPS 端口 %1</translation>
        </message>
        <message>
            <source>WebSocket and HTTP port %1 without TLS</source>
            <translation>WebSocket 和 HTTP 端口 %1（未加密）</translation>
        </message>
        <message>
            <source>Text port over TLS:</source>
            <translation>TLS 文本端口：</translation>
        </message>
        <message>
            <source>Only for control processors that cannot speak TLS: whoever can watch the network reads the token and the commands.</source>
            <translation>仅用于不支持 TLS 的中控主机：能监听网络的任何人都能读到令牌和命令。</translation>
        </message>
        <message>
            <source>Web port over TLS:</source>
            <translation>Web 端口使用 TLS：</translation>
        </message>
        <message>
            <source>Fingerprint (SHA-256):</source>
            <translation>指纹（SHA-256）：</translation>
        </message>
        <message>
            <source>shown while the API runs</source>
            <translation>API 运行时显示</translation>
        </message>
    </context>
    <context>
        <name>AuditPage</name>
        <message>
            <source>%1 of %2 lines</source>
            <translation>%1 / %2 条</translation>
        </message>
        <message>
            <source>Filter by who or what</source>
            <translation>按操作者或对象筛选</translation>
        </message>
        <message>
            <source>Older lines</source>
            <translation>更早的记录</translation>
        </message>
        <message>
            <source>The audit trail is kept behind the admin password.</source>
            <translation>审计记录需要管理员密码才能查看。</translation>
        </message>
        <message>
            <source>refused: %1</source>
            <translation>被拒绝：%1</translation>
        </message>
        <message>
            <source>unknown</source>
            <translation>未知</translation>
        </message>
    </context>
    <context>
        <name>ConfigurationFile</name>
        <message>
            <source>The settings could not be saved to %1.</source>
            <translation>无法将设置保存到 %1。</translation>
        </message>
        <message>
            <source>The settings file %1 was empty or unreadable. The settings saved before it, in %2, are used instead.</source>
            <translation>设置文件 %1 为空或无法读取。已改用之前保存在 %2 中的设置。</translation>
        </message>
        <message>
            <source>The settings could not be saved to %1. The changes are kept while the program runs and saved as soon as the file can be written again (is the disk full?).</source>
            <translation>无法将设置保存到 %1。程序运行期间更改会保留，并在文件可再次写入时立即保存（磁盘是否已满？）。</translation>
        </message>
    </context>
    <context>
        <name>ConfigurationTransfer</name>
        <message>
            <source>%1 could not be read.</source>
            <translation>无法读取 %1。</translation>
        </message>
        <message>
            <source>Nothing was imported: %1</source>
            <translation>未导入任何内容：%1</translation>
        </message>
        <message>
            <source>Nothing was imported: the current configuration could not be copied to %1.</source>
            <translation>未导入任何内容：无法将当前配置复制到 %1。</translation>
        </message>
        <message>
            <source>The configuration could not be written to %1.</source>
            <translation>无法将配置写入 %1。</translation>
        </message>
        <message>
            <source>The configuration was imported; the previous one is kept in %1. The program restarts.</source>
            <translation>配置已导入；之前的配置保存在 %1。程序将重新启动。</translation>
        </message>
        <message>
            <source>The configuration was saved to %1.</source>
            <translation>配置已保存到 %1。</translation>
        </message>
        <message>
            <source>The settings file could not be written; the previous configuration is kept in %1.</source>
            <translation>无法写入设置文件；之前的配置保存在 %1。</translation>
        </message>
        <message>
            <source>The configuration could not be written to %1 (%2).</source>
            <translation>无法将配置写入 %1（%2）。</translation>
        </message>
        <message>
            <source>Nothing was imported: the demo writes no settings. Start the program without the demo to import a configuration.</source>
            <translation>未导入任何内容：演示模式不写入设置。请在非演示模式下启动程序以导入配置。</translation>
        </message>
        <message>
            <source>This is not a configuration file of this program: %1</source>
            <translation>这不是本程序的配置文件：%1</translation>
        </message>
    </context>
    <context>
        <name>DeviceEditorListView</name>
        <message>
            <source>Alias Name</source>
            <translation>别名</translation>
        </message>
        <message>
            <source>Alias Name:</source>
            <translation>别名：</translation>
        </message>
        <message>
            <source>ID</source>
            <translation>ID</translation>
        </message>
        <message>
            <source>IP Address</source>
            <translation>IP 地址</translation>
        </message>
        <message>
            <source>Modify Alias Name</source>
            <translation>修改别名</translation>
        </message>
        <message>
            <source>Name exists, please input again!</source>
            <translation>名称已存在，请重新输入！</translation>
        </message>
        <message>
            <source>No.</source>
            <translation>序号</translation>
        </message>
        <message>
            <source>Sequencing</source>
            <translation>排序</translation>
        </message>
    </context>
    <context>
        <name>DeviceManager</name>
        <message>
            <source>Socket error while search device: %1</source>
            <translation>搜索设备时发生套接字错误：%1</translation>
        </message>
        <message>
            <source>The program could not be restarted. Please close it and start it again.</source>
            <translation>程序无法重新启动，请关闭后重新打开。</translation>
        </message>
        <message>
            <source>The settings could not be reset: %1 can be neither deleted nor emptied.</source>
            <translation>无法重置设置：%1 既不能删除也不能清空。</translation>
        </message>
        <message>
            <source>VideoWall 2</source>
            <translation>拼接墙 2</translation>
        </message>
        <message>
            <source>No network connection was found. Connect this computer to the network of the devices and search again.</source>
            <translation>未找到可用的网络连接。请将本电脑连接到设备所在的网络，然后重新搜索。</translation>
        </message>
        <message>
            <source>More than %1 devices of one kind answered. Only the first %1 are listed.</source>
            <translation>同一类设备应答超过 %1 台，只列出前 %1 台。</translation>
        </message>
    </context>
    <context>
        <name>DeviceSearchIndicator</name>
        <message>
            <source>Searching Device</source>
            <translation>正在搜索设备</translation>
        </message>
    </context>
    <context>
        <name>DisplayControl</name>
        <message>
            <source>The display command "%1" cannot be sent to the decoders: it holds control characters.</source>
            <translation>显示器命令“%1”含有控制字符，无法发送给接收端。</translation>
        </message>
    </context>
    <context>
        <name>HealthPage</name>
        <message>
            <source>Health</source>
            <translation>运行状况</translation>
        </message>
        <message>
            <source>File for support</source>
            <translation>支持文件</translation>
        </message>
        <message>
            <source>Written to %1</source>
            <translation>已写入 %1</translation>
        </message>
        <message>
            <source>Not written: %1</source>
            <translation>未写入：%1</translation>
        </message>
        <message>
            <source>Devices online</source>
            <translation>在线设备</translation>
        </message>
        <message>
            <source>CPU</source>
            <translation>CPU</translation>
        </message>
        <message>
            <source>Event loop lag</source>
            <translation>事件循环延迟</translation>
        </message>
        <message>
            <source>API clients</source>
            <translation>API 客户端</translation>
        </message>
        <message>
            <source>MQTT</source>
            <translation>MQTT</translation>
        </message>
        <message>
            <source>connected</source>
            <translation>已连接</translation>
        </message>
        <message>
            <source>off</source>
            <translation>关闭</translation>
        </message>
        <message>
            <source>disconnected</source>
            <translation>已断开</translation>
        </message>
        <message>
            <source>Device</source>
            <translation>设备</translation>
        </message>
        <message>
            <source>24 hours ago</source>
            <translation>24 小时前</translation>
        </message>
        <message>
            <source>now</source>
            <translation>现在</translation>
        </message>
        <message>
            <source>Online · round trip median / 95 %</source>
            <translation>在线 · 往返时间 中位数 / 95 %</translation>
        </message>
        <message>
            <source>Decoder</source>
            <translation>解码器</translation>
        </message>
        <message>
            <source>Encoder</source>
            <translation>编码器</translation>
        </message>
        <message>
            <source>outages: %1</source>
            <translation>中断：%1</translation>
        </message>
        <message>
            <source>fps</source>
            <translation>帧/秒</translation>
        </message>
        <message>
            <source>%1 failed · %2 reconnections · %3 drifts</source>
            <translation>%1 次失败 · %2 次重连 · %3 次偏离</translation>
        </message>
        <message>
            <source>%1 MiB</source>
            <translation>%1 MiB</translation>
        </message>
        <message>
            <source>Memory</source>
            <translation>内存</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>设置</translation>
        </message>
        <message>
            <source>saved</source>
            <translation>已保存</translation>
        </message>
        <message>
            <source>not saved</source>
            <translation>未保存</translation>
        </message>
        <message>
            <source>Save failures</source>
            <translation>保存失败次数</translation>
        </message>
    </context>
    <context>
        <name>InputDialog</name>
        <message>
            <source>Enter a name</source>
            <translation>请输入名称</translation>
        </message>
    </context>
    <context>
        <name>MainFrame</name>
        <message>
            <source>All monitors are closed</source>
            <translation>所有显示器已关闭</translation>
        </message>
        <message>
            <source>All monitors are opened</source>
            <translation>所有显示器已打开</translation>
        </message>
        <message>
            <source>Are you sure want to turn off all monitors?</source>
            <translation>确定要关闭所有显示器吗？</translation>
        </message>
        <message>
            <source>Are you sure want to turn on all monitors?</source>
            <translation>确定要打开所有显示器吗？</translation>
        </message>
        <message>
            <source>Notification</source>
            <translation>提示</translation>
        </message>
        <message>
            <source>RX List</source>
            <translation>接收端列表</translation>
        </message>
        <message>
            <source>TX List</source>
            <translation>发送端列表</translation>
        </message>
        <message>
            <source>qrc:/images/toallscreens-drop.png</source>
            <translation>qrc:/images/toallscreens-drop-zh_CN.png</translation>
        </message>
        <message>
            <source>qrc:/images/toallscreens.png</source>
            <translation>qrc:/images/toallscreens-zh_CN.png</translation>
        </message>
        <message>
            <source>All screens now show &quot;%1&quot;</source>
            <translation>所有屏幕现在显示“%1”</translation>
        </message>
    </context>
    <context>
        <name>NameAndSeqPage</name>
        <message>
            <source>RX</source>
            <translation>接收端</translation>
        </message>
        <message>
            <source>TX</source>
            <translation>发送端</translation>
        </message>
        <message>
            <source>Tips: You can rename and sequence by click and drag.</source>
            <translation>提示：点击可重命名，拖动可调整顺序。</translation>
        </message>
    </context>
    <context>
        <name>OwnCertificate</name>
        <message>
            <source>OpenSSL could not make a certificate</source>
            <translation>OpenSSL 无法生成证书</translation>
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
        <name>QImageGrabberMjpeg</name>
        <message>
            <source>Invalid URL</source>
            <translation>无效的网址</translation>
        </message>
        <message>
            <source>No image for %1 seconds</source>
            <translation>%1 秒内没有收到图像</translation>
        </message>
        <message>
            <source>The stream sent an image or a header line larger than allowed</source>
            <translation>视频流发送的图像或头部行超出允许的大小</translation>
        </message>
    </context>
    <context>
        <name>Routing</name>
        <message>
            <source>The encoders cannot be told about the wall %1: a device name in it cannot be sent.</source>
            <translation>无法将拼接墙 %1 通知发送端：其中的设备名称无法发送。</translation>
        </message>
        <message>
            <source>The source "%1" cannot be shown: its name cannot be sent to a decoder.</source>
            <translation>无法显示信号源“%1”：其名称无法发送给接收端。</translation>
        </message>
    </context>
    <context>
        <name>RxListCell</name>
        <message>
            <source>Shows another source</source>
            <translation>显示其他信号源</translation>
        </message>
        <message>
            <source>Screens show different sources</source>
            <translation>各屏幕显示不同信号源</translation>
        </message>
    </context>
    <context>
        <name>RxVideo</name>
        <message>
            <source>Mixed: the screens of this wall show different sources</source>
            <translation>混合：该拼接墙的屏幕显示不同的信号源</translation>
        </message>
    </context>
    <context>
        <name>SceneService</name>
        <message>
            <source>Not saved: the screens of %1 show different sources. Route the wall first.</source>
            <translation>未保存：%1 的屏幕显示不同的信号源。请先为该电视墙选择信号源。</translation>
        </message>
        <message>
            <source>Not saved: there is no screen to keep.</source>
            <translation>未保存：没有可保存的屏幕。</translation>
        </message>
        <message>
            <source>Not saved: the scene could not be stored.</source>
            <translation>未保存：无法存储该场景。</translation>
        </message>
        <message>
            <source>Saved without %1: its screens show different sources.</source>
            <translation>已保存，但不含 %1：它的屏幕显示不同的信号源。</translation>
        </message>
        <message>
            <source>the scene "%1" no longer exists</source>
            <translation>场景“%1”已不存在</translation>
        </message>
        <message>
            <source>missed at %1: %2</source>
            <translation>%1 未执行：%2</translation>
        </message>
    </context>
    <context>
        <name>RenameDialog</name>
        <message>
            <source>The name is too long or holds characters that cannot be shown.</source>
            <translation>名称过长或包含无法显示的字符。</translation>
        </message>
    </context>
    <context>
        <name>ScenesPage</name>
        <message>
            <source>No schedules yet. Fill in the form below to recall a scene or switch the displays at set times.</source>
            <translation>还没有计划。填写下面的表单，即可在设定时间调用场景或开关显示器。</translation>
        </message>
        <message>
            <source>On the screens now</source>
            <translation>正在屏幕上显示</translation>
        </message>
        <message>
            <source>No scenes yet. Route the screens as they should be, type a name above and press &quot;Save current routing&quot;.</source>
            <translation>还没有场景。先把各屏幕切换好，在上方输入名称，然后按“保存当前切换”。</translation>
        </message>
        <message>
            <source>Scenes, schedules and the configuration file are kept behind the admin password.</source>
            <translation>场景、计划和配置文件受管理员密码保护。</translation>
        </message>
        <message>
            <source>A scene named &quot;%1&quot; exists. Replace it with the current routing?</source>
            <translation>已有名为“%1”的场景。用当前切换覆盖它吗？</translation>
        </message>
        <message>
            <source>Type a name for the scene.</source>
            <translation>请输入场景名称。</translation>
        </message>
        <message>
            <source>The scene could not be renamed.</source>
            <translation>无法重命名该场景。</translation>
        </message>
        <message>
            <source>Another scene is named &quot;%1&quot;.</source>
            <translation>已有名为“%1”的场景。</translation>
        </message>
        <message>
            <source>New name:</source>
            <translation>新名称：</translation>
        </message>
        <message>
            <source>%1 at %2 on %3</source>
            <translation>%3 %2：%1</translation>
        </message>
        <message>
            <source>%1 once at %2</source>
            <translation>%2 执行一次：%1</translation>
        </message>
        <message>
            <source>Add schedule</source>
            <translation>添加计划</translation>
        </message>
        <message>
            <source>All displays off</source>
            <translation>关闭所有显示器</translation>
        </message>
        <message>
            <source>All displays on</source>
            <translation>打开所有显示器</translation>
        </message>
        <message>
            <source>Attention</source>
            <translation>注意</translation>
        </message>
        <message>
            <source>Configuration file</source>
            <translation>配置文件</translation>
        </message>
        <message>
            <source>Delete</source>
            <translation>删除</translation>
        </message>
        <message>
            <source>Displays off</source>
            <translation>显示器关</translation>
        </message>
        <message>
            <source>Displays on</source>
            <translation>显示器开</translation>
        </message>
        <message>
            <source>Displays unchanged</source>
            <translation>显示器不变</translation>
        </message>
        <message>
            <source>Fri</source>
            <translation>周五</translation>
        </message>
        <message>
            <source>Include password and API token</source>
            <translation>包含密码和 API 令牌</translation>
        </message>
        <message>
            <source>Mon</source>
            <translation>周一</translation>
        </message>
        <message>
            <source>Name</source>
            <translation>名称</translation>
        </message>
        <message>
            <source>Once</source>
            <translation>一次</translation>
        </message>
        <message>
            <source>Overwrite</source>
            <translation>覆盖</translation>
        </message>
        <message>
            <source>Recall scene</source>
            <translation>调用场景</translation>
        </message>
        <message>
            <source>Rename</source>
            <translation>重命名</translation>
        </message>
        <message>
            <source>Sat</source>
            <translation>周六</translation>
        </message>
        <message>
            <source>Save current routing</source>
            <translation>保存当前切换</translation>
        </message>
        <message>
            <source>Scene &quot;%1&quot; saved</source>
            <translation>场景“%1”已保存</translation>
        </message>
        <message>
            <source>Scenes</source>
            <translation>场景</translation>
        </message>
        <message>
            <source>Schedules</source>
            <translation>计划</translation>
        </message>
        <message>
            <source>Sun</source>
            <translation>周日</translation>
        </message>
        <message>
            <source>The scene could not be saved.</source>
            <translation>无法保存场景。</translation>
        </message>
        <message>
            <source>Thu</source>
            <translation>周四</translation>
        </message>
        <message>
            <source>Tue</source>
            <translation>周二</translation>
        </message>
        <message>
            <source>Wed</source>
            <translation>周三</translation>
        </message>
        <message>
            <source>Weekly</source>
            <translation>每周</translation>
        </message>
        <message>
            <source>all displays off</source>
            <translation>关闭所有显示器</translation>
        </message>
        <message>
            <source>all displays on</source>
            <translation>打开所有显示器</translation>
        </message>
        <message>
            <source>recall &quot;%1&quot;</source>
            <translation>调用“%1”</translation>
        </message>
        <message>
            <source>Type a name for the schedule.</source>
            <translation>请输入计划名称。</translation>
        </message>
        <message>
            <source>Another schedule is named &quot;%1&quot;.</source>
            <translation>已有名为“%1”的计划。</translation>
        </message>
        <message>
            <source>Save a scene first: there is none to recall.</source>
            <translation>请先保存一个场景：目前没有可调用的场景。</translation>
        </message>
        <message>
            <source>Type the time as HH:MM, for example 07:30.</source>
            <translation>请按 HH:MM 输入时间，例如 07:30。</translation>
        </message>
        <message>
            <source>Choose at least one weekday.</source>
            <translation>请至少选择一天。</translation>
        </message>
        <message>
            <source>Type the date as YYYY-MM-DD, for example %1.</source>
            <translation>请按 YYYY-MM-DD 输入日期，例如 %1。</translation>
        </message>
        <message>
            <source>That date and time have passed.</source>
            <translation>该日期和时间已经过去。</translation>
        </message>
        <message>
            <source>Schedule &quot;%1&quot; saved</source>
            <translation>计划“%1”已保存</translation>
        </message>
        <message>
            <source>The schedule could not be saved.</source>
            <translation>无法保存计划。</translation>
        </message>
        <message>
            <source>The schedule could not be changed.</source>
            <translation>无法更改计划。</translation>
        </message>
        <message>
            <source>Edit</source>
            <translation>编辑</translation>
        </message>
        <message>
            <source>New schedule</source>
            <translation>新计划</translation>
        </message>
        <message>
            <source>Change schedule &quot;%1&quot;</source>
            <translation>更改计划“%1”</translation>
        </message>
        <message>
            <source>Save changes</source>
            <translation>保存更改</translation>
        </message>
        <message>
            <source>Cancel changes</source>
            <translation>取消更改</translation>
        </message>
        <message>
            <source>Choose the scene to recall.</source>
            <translation>请选择要调用的场景。</translation>
        </message>
        <message>
            <source>Scene name</source>
            <translation>场景名称</translation>
        </message>
        <message>
            <source>Confirm</source>
            <translation>确认</translation>
        </message>
        <message>
            <source>Delete the scene &quot;%1&quot;?</source>
            <translation>删除场景“%1”？</translation>
        </message>
        <message>
            <source>Delete the schedule &quot;%1&quot;?</source>
            <translation>删除计划“%1”？</translation>
        </message>
        <message>
            <source>Replace the scene &quot;%1&quot; with the current routing?</source>
            <translation>用当前切换覆盖场景“%1”？</translation>
        </message>
        <message>
            <source>Delete the scene &quot;%1&quot;? These schedules recall it and are switched off: %2</source>
            <translation>删除场景“%1”？以下计划调用它，将被关闭：%2</translation>
        </message>
        <message>
            <source>e.g. %1</source>
            <translation>例如 %1</translation>
        </message>
        <message>
            <source>Export…</source>
            <translation>导出…</translation>
        </message>
        <message>
            <source>Import…</source>
            <translation>导入…</translation>
        </message>
        <message>
            <source>Export the configuration</source>
            <translation>导出配置</translation>
        </message>
        <message>
            <source>Import a configuration</source>
            <translation>导入配置</translation>
        </message>
        <message>
            <source>The file %1 exists. Replace it with the configuration?</source>
            <translation>文件 %1 已存在。要用配置替换它吗？</translation>
        </message>
        <message>
            <source>Replace the current configuration with %1? The program restarts to use it; the current one is kept as a copy.</source>
            <translation>用 %1 替换当前配置吗？程序将重新启动以使用它；当前配置会保留一份副本。</translation>
        </message>
    </context>
    <context>
        <name>ScenesStrip</name>
        <message>
            <source>Not confirmed: %1</source>
            <translation>未确认：%1</translation>
        </message>
        <message>
            <source>Recalling &quot;%1&quot;: %2 of %3 screens</source>
            <translation>正在调用“%1”：%2/%3 个屏幕</translation>
        </message>
        <message>
            <source>Retry</source>
            <translation>重试</translation>
        </message>
        <message>
            <source>Scene &quot;%1&quot; recalled</source>
            <translation>场景“%1”已调用</translation>
        </message>
    </context>
    <context>
        <name>Schedule</name>
        <message>
            <source>The clock skips %1 on %2; it runs at %3.</source>
            <translation>%2 的时钟跳过 %1；将在 %3 执行。</translation>
        </message>
    </context>
    <context>
        <name>Scheduler</name>
        <message>
            <source>the controller was not running</source>
            <translation>控制器当时未运行</translation>
        </message>
        <message>
            <source>the controller was held up, or its clock jumped</source>
            <translation>控制器被阻塞，或其时钟发生跳变</translation>
        </message>
    </context>
    <context>
        <name>SearchFailedDialog</name>
        <message>
            <source>Demo</source>
            <translation>演示</translation>
        </message>
        <message>
            <source>Retry</source>
            <translation>重试</translation>
        </message>
        <message>
            <source>Unable to discover any online devices, please make sure the devices are in the same LAN and retry.</source>
            <translation>未能发现任何在线设备，请确认设备处于同一局域网后重试。</translation>
        </message>
    </context>
    <context>
        <name>SettingsDialog</name>
        <message>
            <source>%1 (locked: the admin password opens it)</source>
            <translation>%1（已锁定：需要管理员密码）</translation>
        </message>
        <message>
            <source>Advanced Settings</source>
            <translation>高级设置</translation>
        </message>
        <message>
            <source>Audit Trail</source>
            <translation>审计记录</translation>
        </message>
        <message>
            <source>Name and sequencing</source>
            <translation>名称与排序</translation>
        </message>
        <message>
            <source>Scenes and Schedules</source>
            <translation>场景和计划</translation>
        </message>
        <message>
            <source>Users</source>
            <translation>用户</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>设置</translation>
        </message>
        <message>
            <source>System Information</source>
            <translation>系统信息</translation>
        </message>
        <message>
            <source>Video Wall Settings</source>
            <translation>拼接墙设置</translation>
        </message>
    </context>
    <context>
        <name>SystemInfoPage</name>
        <message>
            <source>Name: </source>
            <translation>名称：</translation>
        </message>
        <message>
            <source>Version: </source>
            <translation>版本：</translation>
        </message>
    </context>
    <context>
        <name>VWPage</name>
        <message>
            <source>Are you sure to delete the video wall "%1" ?</source>
            <translation>确定要删除拼接墙“%1”吗？</translation>
        </message>
        <message>
            <source>Confirm</source>
            <translation>确认</translation>
        </message>
        <message>
            <source>Create new video wall</source>
            <translation>新建拼接墙</translation>
        </message>
        <message>
            <source>Modify Video Wall Name</source>
            <translation>修改拼接墙名称</translation>
        </message>
        <message>
            <source>Name exists, please input again!</source>
            <translation>名称已存在，请重新输入！</translation>
        </message>
        <message>
            <source>New Name:</source>
            <translation>新名称：</translation>
        </message>
        <message>
            <source>Video Wall Name:</source>
            <translation>拼接墙名称：</translation>
        </message>
        <message>
            <source>Video wall list</source>
            <translation>拼接墙列表</translation>
        </message>
        <message>
            <source>Two decoders outside any wall are needed.</source>
            <translation>需要两台未加入拼接墙的接收端。</translation>
        </message>
        <message>
            <source>The name is too long or holds characters that cannot be shown.</source>
            <translation>名称过长或包含无法显示的字符。</translation>
        </message>
    </context>
    <context>
        <name>VWWizardSelectSizePage</name>
        <message>
            <source>1x1  wall creation is not allowed.</source>
            <translation>不允许创建 1x1 的拼接墙。</translation>
        </message>
        <message>
            <source>Next</source>
            <translation>下一步</translation>
        </message>
        <message>
            <source>Step 1:
Please set the number of the video wall’s rows and columns, and then click "Next".</source>
            <translation>第一步：
请设置拼接墙的行数和列数，然后点击“下一步”。</translation>
        </message>
    </context>
    <context>
        <name>VWWizrdPlaceDevicePage</name>
        <message>
            <source>Can't create video wall because some cells have not been configured!</source>
            <translation>有屏幕尚未配置，无法创建拼接墙！</translation>
        </message>
        <message>
            <source>Create</source>
            <translation>创建</translation>
        </message>
        <message>
            <source>RX List</source>
            <translation>接收端列表</translation>
        </message>
        <message>
            <source>Step 2:
Drag RX to each display frame, ensure the number in the frame is consistent with that in the physical video wall.</source>
            <translation>第二步：
将接收端拖到每个屏幕框中，确保框中的编号与实际拼接墙上显示的编号一致。</translation>
        </message>
        <message>
            <source>Video Wall "%1" created.</source>
            <translation>拼接墙“%1”已创建。</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>上一步</translation>
        </message>
        <message>
            <source>Video Wall "%1" could not be created.</source>
            <translation>无法创建拼接墙“%1”。</translation>
        </message>
    </context>
    <context>
        <name>main</name>
        <message>
            <source>Cancel</source>
            <translation>取消</translation>
        </message>
        <message>
            <source>OK</source>
            <translation>确定</translation>
        </message>
        <message>
            <source>The input content must not be empty.</source>
            <translation>输入内容不能为空。</translation>
        </message>
    </context>
    <context>
        <name>RemoteService</name>
        <message>
            <source>The control API cannot listen on %1 port %2: %3</source>
            <translation>控制接口无法在 %1 端口 %2 上监听：%3</translation>
        </message>
        <message>
            <source>Ports are numbers from 1 to 65535.</source>
            <translation>端口是 1 到 65535 之间的数字。</translation>
        </message>
        <message>
            <source>The three ports must differ.</source>
            <translation>三个端口必须互不相同。</translation>
        </message>
        <message>
            <source>&quot;%1&quot; is not an IP address.</source>
            <translation>“%1”不是 IP 地址。</translation>
        </message>
        <message>
            <source>TLS needs both a certificate and a key.</source>
            <translation>TLS 需要证书和密钥两者。</translation>
        </message>
        <message>
            <source>The file %1 cannot be read.</source>
            <translation>无法读取文件 %1。</translation>
        </message>
        <message>
            <source>The settings could not be saved to %1.</source>
            <translation>无法将设置保存到 %1。</translation>
        </message>
        <message>
            <source>TLS cannot be had (%1): the control API stays off, every port. Name a readable PEM certificate and its key, or neither, for the controller's own.</source>
            <translation>无法启用 TLS（%1）：控制 API 保持关闭（所有端口均关闭）。请指定可读取的 PEM 证书及其密钥，或两者都不指定以使用控制器自己的证书。</translation>
        </message>
        <message>
            <source>this system's Qt cannot load OpenSSL</source>
            <translation>本系统的 Qt 无法加载 OpenSSL</translation>
        </message>
    </context>
    <context>
        <name>HomeAssistantDiscovery</name>
        <message>
            <source>AV-over-IP controller</source>
            <translation>AV over IP 控制器</translation>
        </message>
        <message>
            <source>All displays off</source>
            <translation>关闭所有显示器</translation>
        </message>
        <message>
            <source>All displays on</source>
            <translation>打开所有显示器</translation>
        </message>
        <message>
            <source>Decoder</source>
            <translation>解码器</translation>
        </message>
        <message>
            <source>Display off</source>
            <translation>关闭显示器</translation>
        </message>
        <message>
            <source>Display on</source>
            <translation>打开显示器</translation>
        </message>
        <message>
            <source>Encoder</source>
            <translation>编码器</translation>
        </message>
        <message>
            <source>Hide numbers</source>
            <translation>隐藏编号</translation>
        </message>
        <message>
            <source>Online</source>
            <translation>在线</translation>
        </message>
        <message>
            <source>Scene</source>
            <translation>场景</translation>
        </message>
        <message>
            <source>Show numbers</source>
            <translation>显示编号</translation>
        </message>
        <message>
            <source>Source</source>
            <translation>信号源</translation>
        </message>
        <message>
            <source>Video wall</source>
            <translation>拼接墙</translation>
        </message>
    </context>
    <context>
        <name>MqttBridge</name>
        <message>
            <source>%1 %2</source>
            <comment>What went wrong, then whether it is tried again; Chinese joins them without a space.</comment>
            <translation>%1%2</translation>
        </message>
        <message>
            <source>Next try within %1 s.</source>
            <translation>%1 秒内再次尝试。</translation>
        </message>
        <message>
            <source>Not tried again until the settings are applied.</source>
            <translation>应用设置之前不会再次尝试。</translation>
        </message>
        <message>
            <source>Not connected to %1: %2</source>
            <translation>未连接到 %1：%2</translation>
        </message>
        <message>
            <source>%1 cannot be reached (%2).</source>
            <translation>无法连接到 %1（%2）。</translation>
        </message>
        <message>
            <source>No broker answers at %1 port %2 (%3).</source>
            <translation>%1 端口 %2 上没有代理服务器应答（%3）。</translation>
        </message>
        <message>
            <source>TLS with %1 failed (%2): check the CA file and the port.</source>
            <translation>与 %1 的 TLS 连接失败（%2）：请检查 CA 文件和端口。</translation>
        </message>
        <message>
            <source>%1 refused the user name or password (%2).</source>
            <translation>%1 拒绝了用户名或密码（%2）。</translation>
        </message>
        <message>
            <source>Connecting to %1 port %2…</source>
            <translation>正在连接 %1 端口 %2…</translation>
        </message>
        <message>
            <source>Ports are numbers from 1 to 65535.</source>
            <translation>端口是 1 到 65535 之间的数字。</translation>
        </message>
        <message>
            <source>The settings could not be saved.</source>
            <translation>无法保存设置。</translation>
        </message>
    </context>
    <context>
        <name>MqttClient</name>
        <message>
            <source>The MQTT client could not be made.</source>
            <translation>无法创建 MQTT 客户端。</translation>
        </message>
        <message>
            <source>The MQTT client cannot be set up: %1</source>
            <translation>无法设置 MQTT 客户端：%1</translation>
        </message>
        <message>
            <source>The broker %1 cannot be reached: %2</source>
            <translation>无法连接代理服务器 %1：%2</translation>
        </message>
        <message>
            <source>The MQTT client cannot run: %1</source>
            <translation>MQTT 客户端无法运行：%1</translation>
        </message>
        <message>
            <source>stopped</source>
            <translation>已停止</translation>
        </message>
    </context>
    <context>
        <name>MqttFields</name>
        <message>
            <source>Connected to %1 port %2.</source>
            <translation>已连接到 %1 端口 %2。</translation>
        </message>
        <message>
            <source>Off.</source>
            <translation>已关闭。</translation>
        </message>
        <message>
            <source>A port is a number from 1 to 65535.</source>
            <translation>端口是 1 到 65535 之间的数字。</translation>
        </message>
        <message>
            <source>Type the broker&apos;s name or address.</source>
            <translation>请输入代理服务器的名称或地址。</translation>
        </message>
        <message>
            <source>MQTT settings saved.</source>
            <translation>MQTT 设置已保存。</translation>
        </message>
        <message>
            <source>MQTT bridge:</source>
            <translation>MQTT 桥接：</translation>
        </message>
        <message>
            <source>Broker:</source>
            <translation>代理服务器：</translation>
        </message>
        <message>
            <source>Port:</source>
            <translation>端口：</translation>
        </message>
        <message>
            <source>Site name:</source>
            <translation>站点名称：</translation>
        </message>
        <message>
            <source>Client id:</source>
            <translation>客户端 ID：</translation>
        </message>
        <message>
            <source>from the site name</source>
            <translation>由站点名称生成</translation>
        </message>
        <message>
            <source>User name:</source>
            <translation>用户名：</translation>
        </message>
        <message>
            <source>Password:</source>
            <translation>密码：</translation>
        </message>
        <message>
            <source>TLS CA file:</source>
            <translation>TLS CA 文件：</translation>
        </message>
        <message>
            <source>none</source>
            <translation>无</translation>
        </message>
        <message>
            <source>Apply</source>
            <translation>应用</translation>
        </message>
        <message>
            <source>State:</source>
            <translation>状态：</translation>
        </message>
    </context>
    <context>
        <name>MqttSettings</name>
        <message>
            <source>No broker is set.</source>
            <translation>未设置代理服务器。</translation>
        </message>
        <message>
            <source>The file %1 cannot be read.</source>
            <translation>无法读取文件 %1。</translation>
        </message>
        <message>
            <source>A password needs a user name.</source>
            <translation>填写密码时需要用户名。</translation>
        </message>
    </context>
    <context>
        <name>QImageGrabberHttp</name>
        <message>
            <source>No image for %1 seconds</source>
            <translation>%1 秒内没有收到图像</translation>
        </message>
        <message>
            <source>The snapshot answer has no body</source>
            <translation>快照应答没有内容</translation>
        </message>
        <message>
            <source>The snapshot answer is no whole image</source>
            <translation>快照应答不是完整的图像</translation>
        </message>
    </context>
    <context>
        <name>TlsContext</name>
        <message>
            <source>OpenSSL cannot make a TLS server context.</source>
            <translation>OpenSSL 无法创建 TLS 服务器上下文。</translation>
        </message>
        <message>
            <source>The TLS certificate cannot be used.</source>
            <translation>无法使用该 TLS 证书。</translation>
        </message>
        <message>
            <source>The TLS private key does not belong to the certificate.</source>
            <translation>该 TLS 私钥与证书不匹配。</translation>
        </message>
    </context>
    <context>
        <name>TlsListener</name>
        <message>
            <source>No certificate can be read from %1.</source>
            <translation>无法从 %1 读取证书。</translation>
        </message>
        <message>
            <source>No private key (EC or RSA, PEM, not encrypted) can be read from %1.</source>
            <translation>无法从 %1 读取私钥（EC 或 RSA，PEM 格式，未加密）。</translation>
        </message>
    </context>
    <context>
        <name>WebServer</name>
        <message>
            <source>The control API cannot serve TLS: %1</source>
            <translation>控制接口无法提供 TLS：%1</translation>
        </message>
        <message>
            <source>The control API listens on IPv4 addresses only, not on %1.</source>
            <translation>控制接口只能监听 IPv4 地址，不能监听 %1。</translation>
        </message>
        <message>
            <source>The control API cannot listen on %1 port %2: %3</source>
            <translation>控制接口无法在 %1 端口 %2 上监听：%3</translation>
        </message>
    </context>
    <context>
        <name>LoginPanel</name>
        <message>
            <source>Unlock</source>
            <translation>解锁</translation>
        </message>
        <message>
            <source>Admin password:</source>
            <translation>管理员密码：</translation>
        </message>
        <message>
            <source>Password error!</source>
            <translation>密码错误！</translation>
        </message>
    </context>
    <context>
        <name>SecretDialog</name>
        <message>
            <source>Close</source>
            <translation>关闭</translation>
        </message>
        <message>
            <source>Copy</source>
            <translation>复制</translation>
        </message>
        <message>
            <source>Copy again</source>
            <translation>再次复制</translation>
        </message>
        <message>
            <source>Close anyway</source>
            <translation>仍然关闭</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>返回</translation>
        </message>
        <message>
            <source>Copied. Keep it where only the people who need it can read it.</source>
            <translation>已复制。请将它保存在只有需要的人才能读取的地方。</translation>
        </message>
        <message>
            <source>The secret has not been copied. Once this dialog is closed, nobody can show it again.</source>
            <translation>尚未复制。此对话框关闭后，任何人都无法再显示它。</translation>
        </message>
    </context>
    <context>
        <name>FilePicker</name>
        <message>
            <source>Configuration files (*.json);;All files (*)</source>
            <translation>配置文件 (*.json);;所有文件 (*)</translation>
        </message>
    </context>
    <context>
        <name>UsersPage</name>
        <message>
            <source>Add a device</source>
            <translation>添加设备</translation>
        </message>
        <message>
            <source>Viewer</source>
            <translation>查看者</translation>
        </message>
        <message>
            <source>Operator</source>
            <translation>操作员</translation>
        </message>
        <message>
            <source>Admin</source>
            <translation>管理员</translation>
        </message>
        <message>
            <source>All screens</source>
            <translation>所有屏幕</translation>
        </message>
        <message>
            <source>Sources: %1</source>
            <translation>信号源：%1</translation>
        </message>
        <message>
            <source>Never signed in</source>
            <translation>从未登录</translation>
        </message>
        <message>
            <source>%1 from %2</source>
            <translation>%1，来自 %2</translation>
        </message>
        <message>
            <source>Type a name for the user.</source>
            <translation>请输入用户名称。</translation>
        </message>
        <message>
            <source>User &quot;%1&quot; changed: their connections were ended.</source>
            <translation>用户“%1”已更改：其连接已断开。</translation>
        </message>
        <message>
            <source>Revoke the user &quot;%1&quot;? Their credential stops working and their connections end now.</source>
            <translation>撤销用户“%1”？其凭据将失效，其连接会立即断开。</translation>
        </message>
        <message>
            <source>Make a new credential for &quot;%1&quot;? The current one stops working and its connections end.</source>
            <translation>为“%1”生成新凭据？当前凭据将失效，其连接会断开。</translation>
        </message>
        <message>
            <source>Attention</source>
            <translation>注意</translation>
        </message>
        <message>
            <source>Credential of &quot;%1&quot;</source>
            <translation>“%1”的凭据</translation>
        </message>
        <message>
            <source>Copy the credential now: it is shown only this once. The user signs in with it.</source>
            <translation>请立即复制凭据：它只显示这一次。用户凭它登录。</translation>
        </message>
        <message>
            <source>The users of the control API and the web remote are kept behind the admin password.</source>
            <translation>控制 API 和网页遥控的用户受管理员密码保护。</translation>
        </message>
        <message>
            <source>New user</source>
            <translation>新用户</translation>
        </message>
        <message>
            <source>Change &quot;%1&quot;</source>
            <translation>更改“%1”</translation>
        </message>
        <message>
            <source>Users of the control API and the web remote</source>
            <translation>控制 API 和网页遥控的用户</translation>
        </message>
        <message>
            <source>Add user</source>
            <translation>添加用户</translation>
        </message>
        <message>
            <source>Change</source>
            <translation>更改</translation>
        </message>
        <message>
            <source>New credential</source>
            <translation>新凭据</translation>
        </message>
        <message>
            <source>Revoke</source>
            <translation>撤销</translation>
        </message>
        <message>
            <source>Name</source>
            <translation>名称</translation>
        </message>
        <message>
            <source>A viewer sees the screens and sources and changes nothing.</source>
            <translation>查看者可以看到屏幕和信号源，但不能更改任何内容。</translation>
        </message>
        <message>
            <source>An operator routes, recalls scenes and switches displays, on the screens chosen below.</source>
            <translation>操作员可以在下方所选的屏幕上切换信号、调用场景和开关显示器。</translation>
        </message>
        <message>
            <source>An admin may do everything, users included, on every screen.</source>
            <translation>管理员可以在所有屏幕上执行任何操作，包括管理用户。</translation>
        </message>
        <message>
            <source>Screens: all (none chosen)</source>
            <translation>屏幕：全部（未选择）</translation>
        </message>
        <message>
            <source>Screens:</source>
            <translation>屏幕：</translation>
        </message>
        <message>
            <source>Sources: all (none chosen)</source>
            <translation>信号源：全部（未选择）</translation>
        </message>
        <message>
            <source>Sources:</source>
            <translation>信号源：</translation>
        </message>
        <message>
            <source>Add</source>
            <translation>添加</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>保存</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>取消</translation>
        </message>
    </context>
</TS>
