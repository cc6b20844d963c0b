<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW">
    <context>
        <name>AddDeviceDialog</name>
        <message>
            <source>Viewer: sees the screens and sources</source>
            <translation>檢視者：可檢視螢幕和訊號源</translation>
        </message>
        <message>
            <source>Operator: routes sources to screens</source>
            <translation>操作員：可將訊號源切換到螢幕</translation>
        </message>
        <message>
            <source>Admin: everything, users included</source>
            <translation>管理員：全部權限，包括使用者管理</translation>
        </message>
        <message>
            <source>Add a device</source>
            <translation>新增裝置</translation>
        </message>
        <message>
            <source>Name (empty: one is made up):</source>
            <translation>名稱（留空則自動產生）：</translation>
        </message>
        <message>
            <source>Role:</source>
            <translation>角色：</translation>
        </message>
        <message>
            <source>Screens it may operate (none ticked: all):</source>
            <translation>可操作的螢幕（不勾選則為全部）：</translation>
        </message>
        <message>
            <source>Sources it may show (none ticked: all):</source>
            <translation>可顯示的訊號源（不勾選則為全部）：</translation>
        </message>
        <message>
            <source>Scan the code with the phone or tablet, or open the address below on it and type the code.</source>
            <translation>用手機或平板掃描 QR 碼，或在其上開啟下方位址並輸入配對碼。</translation>
        </message>
        <message>
            <source>Paired as &quot;%1&quot;. It is in the users list, where it can be revoked.</source>
            <translation>已配對為「%1」。它已在使用者清單中，可在那裡撤銷。</translation>
        </message>
        <message>
            <source>Works once, for %1:%2 more.</source>
            <translation>僅可使用一次，剩餘 %1:%2。</translation>
        </message>
        <message>
            <source>The code has expired. Make a new one.</source>
            <translation>配對碼已過期，請重新產生。</translation>
        </message>
        <message>
            <source>Show the code</source>
            <translation>顯示配對碼</translation>
        </message>
        <message>
            <source>New code</source>
            <translation>新配對碼</translation>
        </message>
        <message>
            <source>Close</source>
            <translation>關閉</translation>
        </message>
    </context>
    <context>
        <name>AdvancedPage</name>
        <message>
            <source>State:</source>
            <translation>狀態：</translation>
        </message>
        <message>
            <source>Copy the token now: it is shown only this once. Control systems sign in with it.</source>
            <translation>請立即複製權杖：它只顯示這一次。控制系統用它登入。</translation>
        </message>
        <message>
            <source>New token for control systems</source>
            <translation>控制系統的新權杖</translation>
        </message>
        <message>
            <source>Off: no control system can connect.</source>
            <translation>已關閉：控制系統無法連線。</translation>
        </message>
        <message>
            <source>Not running: %1</source>
            <translation>未執行：%1</translation>
        </message>
        <message>
            <source>Running on %1: %2, %3.</source>
            <translation>正在執行，位址 %1：%2，%3。</translation>
        </message>
        <message>
            <source>text port %1 over TLS</source>
            <translation>文字連接埠 %1（TLS 加密）</translation>
        </message>
        <message>
            <source>TLS needs both the certificate and the key.</source>
            <translation>TLS 需要同時提供憑證和金鑰。</translation>
        </message>
        <message>
            <source>Not an IP address, such as 192.0.2.1.</source>
            <translation>不是 IP 位址（例如 192.0.2.1）。</translation>
        </message>
        <message>
            <source>Required: 0.0.0.0 listens on every network.</source>
            <translation>必填：0.0.0.0 表示在所有網路上監聽。</translation>
        </message>
        <message>
            <source>Must differ from the other ports.</source>
            <translation>必須與其他連接埠不同。</translation>
        </message>
        <message>
            <source>A port is a number from 1 to 65535.</source>
            <translation>埠號是 1 到 65535 之間的數字。</translation>
        </message>
        <message>
            <source>MQTT and Home Assistant</source>
            <translation>MQTT 與 Home Assistant</translation>
        </message>
        <message>
            <source>Control API settings saved.</source>
            <translation>控制介面設定已儲存。</translation>
        </message>
        <message>
            <source>Make a new token? Every control system that uses the current one is cut off.</source>
            <translation>產生新權杖？使用目前權杖的所有控制系統將被中斷。</translation>
        </message>
        <message>
            <source>Make a token for control systems?</source>
            <translation>為控制系統產生權杖？</translation>
        </message>
        <message>
            <source>Control from other systems</source>
            <translation>由其他系統控制</translation>
        </message>
        <message>
            <source>Control API:</source>
            <translation>控制介面：</translation>
        </message>
        <message>
            <source>Listen address:</source>
            <translation>監聽位址：</translation>
        </message>
        <message>
            <source>Plain text port:</source>
            <translation>未加密文字連接埠：</translation>
        </message>
        <message>
            <source>WebSocket and HTTP port:</source>
            <translation>WebSocket 與 HTTP 連接埠：</translation>
        </message>
        <message>
            <source>TLS certificate file:</source>
            <translation>TLS 憑證檔案：</translation>
        </message>
        <message>
            <source>TLS key file:</source>
            <translation>TLS 金鑰檔案：</translation>
        </message>
        <message>
            <source>the controller's own</source>
            <translation>控制器自己的</translation>
        </message>
        <message>
            <source>Apply</source>
            <translation>套用</translation>
        </message>
        <message>
            <source>Token:</source>
            <translation>權杖：</translation>
        </message>
        <message>
            <source>set</source>
            <translation>已設定</translation>
        </message>
        <message>
            <source>none yet</source>
            <translation>尚未產生</translation>
        </message>
        <message>
            <source>New token</source>
            <translation>新權杖</translation>
        </message>
        <message>
            <source>Attention</source>
            <translation>注意</translation>
        </message>
        <message>
            <source>Change password</source>
            <translation>修改密碼</translation>
        </message>
        <message>
            <source>Confirm:</source>
            <translation>確認密碼：</translation>
        </message>
        <message>
            <source>Customize display power on/off command</source>
            <translation>自訂顯示器開關機命令</translation>
        </message>
        <message>
            <source>Do you want to reset the software?</source>
            <translation>確定要將軟體恢復原廠設定嗎？</translation>
        </message>
        <message>
            <source>New display power on/off command saved.</source>
            <translation>新的顯示器開關機命令已儲存。</translation>
        </message>
        <message>
            <source>New password:</source>
            <translation>新密碼：</translation>
        </message>
        <message>
            <source>Old password incorrect, please re-enter.</source>
            <translation>舊密碼不正確，請重新輸入。</translation>
        </message>
        <message>
            <source>Old password:</source>
            <translation>舊密碼：</translation>
        </message>
        <message>
            <source>Password changed.</source>
            <translation>密碼已修改。</translation>
        </message>
        <message>
            <source>Power off:</source>
            <translation>關機：</translation>
        </message>
        <message>
            <source>Power on:</source>
            <translation>開機：</translation>
        </message>
        <message>
            <source>Reset software settings</source>
            <translation>恢復軟體原廠設定</translation>
        </message>
        <message>
            <source>The password entered does not match!</source>
            <translation>兩次輸入的密碼不一致！</translation>
        </message>
        <message>
            <source>You are in demo mode, all configurations will not be saved.</source>
            <translation>目前為示範模式，所有設定都不會被儲存。</translation>
        </message>
        <message>
            <source>Route a decoder again when it comes back showing another source</source>
            <translation>解碼器重新上線後顯示的訊號源不同時，重新切換到原訊號源</translation>
        </message>
        <message>
            <source>At start, put every screen back on its saved route</source>
            <translation>啟動時，將每個螢幕恢復到已儲存的切換</translation>
        </message>
        <message>
            <source>text port %1 over TLS and %2 without</source>
            <translation>文字連接埠 %1（TLS 加密）和 %2（未加密）</translation>
        </message>
        <message>
            <source>WebSocket and HTTPS port %1</source>
            <translation>WebSocket 與 HTTPS 連接埠 %1</translation>
        </message>
        <message>
            <source>WebSocket and HTTP port %1 without TLS</source>
            <translation>WebSocket 與 HTTP 連接埠 %1（未加密）</translation>
        </message>
        <message>
            <source>Text port over TLS:</source>
            <translation>TLS 文字連接埠：</translation>
        </message>
        <message>
            <source>Only for control processors that cannot speak TLS: whoever can watch the network reads the token and the commands.</source>
            <translation>僅用於不支援 TLS 的中控主機：能監聽網路的任何人都能讀到權杖和命令。</translation>
        </message>
        <message>
            <source>Web port over TLS:</source>
            <translation>Web 連接埠使用 TLS：</translation>
        </message>
        <message>
            <source>Fingerprint (SHA-256):</source>
            <translation>指紋（SHA-256）：</translation>
        </message>
        <message>
            <source>shown while the API runs</source>
            <translation>API 執行時顯示</translation>
        </message>
    </context>
    <context>
        <name>AuditPage</name>
        <message>
            <source>%1 of %2 lines</source>
            <translation>%1 / %2 筆</translation>
        </message>
        <message>
            <source>Filter by who or what</source>
            <translation>依操作者或對象篩選</translation>
        </message>
        <message>
            <source>Older lines</source>
            <translation>較早的記錄</translation>
        </message>
        <message>
            <source>The audit trail is kept behind the admin password.</source>
            <translation>稽核記錄需要管理員密碼才能檢視。</translation>
        </message>
        <message>
            <source>refused: %1</source>
            <translation>遭拒絕：%1</translation>
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
            <translation>無法將設定儲存到 %1。</translation>
        </message>
        <message>
            <source>The settings file %1 was empty or unreadable. The settings saved before it, in %2, are used instead.</source>
            <translation>設定檔 %1 為空或無法讀取。已改用先前儲存在 %2 中的設定。</translation>
        </message>
        <message>
            <source>The settings could not be saved to %1. The changes are kept while the program runs and saved as soon as the file can be written again (is the disk full?).</source>
            <translation>無法將設定儲存到 %1。程式執行期間變更會保留，並在檔案可再次寫入時立即儲存（磁碟是否已滿？）。</translation>
        </message>
    </context>
    <context>
        <name>ConfigurationTransfer</name>
        <message>
            <source>%1 could not be read.</source>
            <translation>無法讀取 %1。</translation>
        </message>
        <message>
            <source>Nothing was imported: %1</source>
            <translation>未匯入任何內容：%1</translation>
        </message>
        <message>
            <source>Nothing was imported: the current configuration could not be copied to %1.</source>
            <translation>未匯入任何內容：無法將目前設定複製到 %1。</translation>
        </message>
        <message>
            <source>The configuration could not be written to %1.</source>
            <translation>無法將設定寫入 %1。</translation>
        </message>
        <message>
            <source>The configuration was imported; the previous one is kept in %1. The program restarts.</source>
            <translation>設定已匯入；先前的設定保存在 %1。程式將重新啟動。</translation>
        </message>
        <message>
            <source>The configuration was saved to %1.</source>
            <translation>設定已儲存到 %1。</translation>
        </message>
        <message>
            <source>The settings file could not be written; the previous configuration is kept in %1.</source>
            <translation>無法寫入設定檔；先前的設定保存在 %1。</translation>
        </message>
        <message>
            <source>The configuration could not be written to %1 (%2).</source>
            <translation>無法將組態寫入 %1（%2）。</translation>
        </message>
        <message>
            <source>Nothing was imported: the demo writes no settings. Start the program without the demo to import a configuration.</source>
            <translation>未匯入任何內容：示範模式不寫入設定。請在非示範模式下啟動程式以匯入組態。</translation>
        </message>
        <message>
            <source>This is not a configuration file of this program: %1</source>
            <translation>這不是本程式的設定檔：%1</translation>
        </message>
    </context>
    <context>
        <name>DeviceEditorListView</name>
        <message>
            <source>Alias Name</source>
            <translation>別名</translation>
        </message>
        <message>
            <source>Alias Name:</source>
            <translation>別名：</translation>
        </message>
        <message>
            <source>ID</source>
            <translation>ID</translation>
        </message>
        <message>
            <source>IP Address</source>
            <translation>IP 位址</translation>
        </message>
        <message>
            <source>Modify Alias Name</source>
            <translation>修改別名</translation>
        </message>
        <message>
            <source>Name exists, please input again!</source>
            <translation>名稱已存在，請重新輸入！</translation>
        </message>
        <message>
            <source>No.</source>
            <translation>序號</translation>
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
            <translation>搜尋裝置時發生通訊端錯誤：%1</translation>
        </message>
        <message>
            <source>The program could not be restarted. Please close it and start it again.</source>
            <translation>程式無法重新啟動，請關閉後重新開啟。</translation>
        </message>
        <message>
            <source>The settings could not be reset: %1 can be neither deleted nor emptied.</source>
            <translation>無法重設設定：%1 既不能刪除也不能清空。</translation>
        </message>
        <message>
            <source>VideoWall 2</source>
            <translation>拼接牆 2</translation>
        </message>
        <message>
            <source>No network connection was found. Connect this computer to the network of the devices and search again.</source>
            <translation>未找到可用的網路連線。請將本電腦連接到設備所在的網路，然後重新搜尋。</translation>
        </message>
        <message>
            <source>More than %1 devices of one kind answered. Only the first %1 are listed.</source>
            <translation>同一類設備回應超過 %1 台，只列出前 %1 台。</translation>
        </message>
    </context>
    <context>
        <name>DeviceSearchIndicator</name>
        <message>
            <source>Searching Device</source>
            <translation>正在搜尋裝置</translation>
        </message>
    </context>
    <context>
        <name>DisplayControl</name>
        <message>
            <source>The display command "%1" cannot be sent to the decoders: it holds control characters.</source>
            <translation>顯示器命令「%1」含有控制字元，無法傳送給接收端。</translation>
        </message>
    </context>
    <context>
        <name>HealthPage</name>
        <message>
            <source>Health</source>
            <translation>運作狀況</translation>
        </message>
        <message>
            <source>File for support</source>
            <translation>支援檔案</translation>
        </message>
        <message>
            <source>Written to %1</source>
            <translation>已寫入 %1</translation>
        </message>
        <message>
            <source>Not written: %1</source>
            <translation>未寫入：%1</translation>
        </message>
        <message>
            <source>Devices online</source>
            <translation>線上裝置</translation>
        </message>
        <message>
            <source>CPU</source>
            <translation>CPU</translation>
        </message>
        <message>
            <source>Event loop lag</source>
            <translation>事件迴圈延遲</translation>
        </message>
        <message>
            <source>API clients</source>
            <translation>API 用戶端</translation>
        </message>
        <message>
            <source>MQTT</source>
            <translation>MQTT</translation>
        </message>
        <message>
            <source>connected</source>
            <translation>已連線</translation>
        </message>
        <message>
            <source>off</source>
            <translation>關閉</translation>
        </message>
        <message>
            <source>disconnected</source>
            <translation>已中斷</translation>
        </message>
        <message>
            <source>Device</source>
            <translation>裝置</translation>
        </message>
        <message>
            <source>24 hours ago</source>
            <translation>24 小時前</translation>
        </message>
        <message>
            <source>now</source>
            <translation>現在</translation>
        </message>
        <message>
            <source>Online · round trip median / 95 %</source>
            <translation>線上 · 往返時間 中位數 / 95 %</translation>
        </message>
        <message>
            <source>Decoder</source>
            <translation>解碼器</translation>
        </message>
        <message>
            <source>Encoder</source>
            <translation>編碼器</translation>
        </message>
        <message>
            <source>outages: %1</source>
            <translation>中斷：%1</translation>
        </message>
        <message>
            <source>fps</source>
            <translation>幀/秒</translation>
        </message>
        <message>
            <source>%1 failed · %2 reconnections · %3 drifts</source>
            <translation>%1 次失敗 · %2 次重新連線 · %3 次偏離</translation>
        </message>
        <message>
            <source>%1 MiB</source>
            <translation>%1 MiB</translation>
        </message>
        <message>
            <source>Memory</source>
            <translation>記憶體</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>設定</translation>
        </message>
        <message>
            <source>saved</source>
            <translation>已儲存</translation>
        </message>
        <message>
            <source>not saved</source>
            <translation>未儲存</translation>
        </message>
        <message>
            <source>Save failures</source>
            <translation>儲存失敗次數</translation>
        </message>
    </context>
    <context>
        <name>InputDialog</name>
        <message>
            <source>Enter a name</source>
            <translation>請輸入名稱</translation>
        </message>
    </context>
    <context>
        <name>MainFrame</name>
        <message>
            <source>All monitors are closed</source>
            <translation>所有顯示器已關閉</translation>
        </message>
        <message>
            <source>All monitors are opened</source>
            <translation>所有顯示器已開啟</translation>
        </message>
        <message>
            <source>Are you sure want to turn off all monitors?</source>
            <translation>確定要關閉所有顯示器嗎？</translation>
        </message>
        <message>
            <source>Are you sure want to turn on all monitors?</source>
            <translation>確定要開啟所有顯示器嗎？</translation>
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
            <translation>發送端列表</translation>
        </message>
        <message>
            <source>qrc:/images/toallscreens-drop.png</source>
            <translation>qrc:/images/toallscreens-drop-zh_TW.png</translation>
        </message>
        <message>
            <source>qrc:/images/toallscreens.png</source>
            <translation>qrc:/images/toallscreens-zh_TW.png</translation>
        </message>
        <message>
            <source>All screens now show &quot;%1&quot;</source>
            <translation>所有螢幕現在顯示「%1」</translation>
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
            <translation>發送端</translation>
        </message>
        <message>
            <source>Tips: You can rename and sequence by click and drag.</source>
            <translation>提示：點擊可重新命名，拖曳可調整順序。</translation>
        </message>
    </context>
    <context>
        <name>OwnCertificate</name>
        <message>
            <source>OpenSSL could not make a certificate</source>
            <translation>OpenSSL 無法產生憑證</translation>
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
        <name>QImageGrabberMjpeg</name>
        <message>
            <source>Invalid URL</source>
            <translation>無效的網址</translation>
        </message>
        <message>
            <source>No image for %1 seconds</source>
            <translation>%1 秒內沒有收到影像</translation>
        </message>
        <message>
            <source>The stream sent an image or a header line larger than allowed</source>
            <translation>視訊串流傳送的影像或標頭行超出允許的大小</translation>
        </message>
    </context>
    <context>
        <name>Routing</name>
        <message>
            <source>The encoders cannot be told about the wall %1: a device name in it cannot be sent.</source>
            <translation>無法將拼接牆 %1 通知發送端：其中的裝置名稱無法傳送。</translation>
        </message>
        <message>
            <source>The source "%1" cannot be shown: its name cannot be sent to a decoder.</source>
            <translation>無法顯示訊號源「%1」：其名稱無法傳送給接收端。</translation>
        </message>
    </context>
    <context>
        <name>RxListCell</name>
        <message>
            <source>Shows another source</source>
            <translation>顯示其他訊號源</translation>
        </message>
        <message>
            <source>Screens show different sources</source>
            <translation>各螢幕顯示不同訊號源</translation>
        </message>
    </context>
    <context>
        <name>RxVideo</name>
        <message>
            <source>Mixed: the screens of this wall show different sources</source>
            <translation>混合：該拼接牆的螢幕顯示不同的訊號源</translation>
        </message>
    </context>
    <context>
        <name>SceneService</name>
        <message>
            <source>Not saved: the screens of %1 show different sources. Route the wall first.</source>
            <translation>未儲存：%1 的螢幕顯示不同的訊號源。請先為該電視牆選擇訊號源。</translation>
        </message>
        <message>
            <source>Not saved: there is no screen to keep.</source>
            <translation>未儲存：沒有可儲存的螢幕。</translation>
        </message>
        <message>
            <source>Not saved: the scene could not be stored.</source>
            <translation>未儲存：無法儲存該場景。</translation>
        </message>
        <message>
            <source>Saved without %1: its screens show different sources.</source>
            <translation>已儲存，但不含 %1：它的螢幕顯示不同的訊號源。</translation>
        </message>
        <message>
            <source>the scene "%1" no longer exists</source>
            <translation>場景「%1」已不存在</translation>
        </message>
        <message>
            <source>missed at %1: %2</source>
            <translation>%1 未執行：%2</translation>
        </message>
    </context>
    <context>
        <name>RenameDialog</name>
        <message>
            <source>The name is too long or holds characters that cannot be shown.</source>
            <translation>名稱過長或包含無法顯示的字元。</translation>
        </message>
    </context>
    <context>
        <name>ScenesPage</name>
        <message>
            <source>No schedules yet. Fill in the form below to recall a scene or switch the displays at set times.</source>
            <translation>還沒有排程。填寫下面的表單，即可在設定時間呼叫場景或開關顯示器。</translation>
        </message>
        <message>
            <source>On the screens now</source>
            <translation>正在螢幕上顯示</translation>
        </message>
        <message>
            <source>No scenes yet. Route the screens as they should be, type a name above and press &quot;Save current routing&quot;.</source>
            <translation>還沒有場景。先把各螢幕切換好，在上方輸入名稱，然後按「儲存目前切換」。</translation>
        </message>
        <message>
            <source>Scenes, schedules and the configuration file are kept behind the admin password.</source>
            <translation>場景、排程和設定檔受管理員密碼保護。</translation>
        </message>
        <message>
            <source>A scene named &quot;%1&quot; exists. Replace it with the current routing?</source>
            <translation>已有名為「%1」的場景。以目前切換覆寫它嗎？</translation>
        </message>
        <message>
            <source>Type a name for the scene.</source>
            <translation>請輸入場景名稱。</translation>
        </message>
        <message>
            <source>The scene could not be renamed.</source>
            <translation>無法重新命名該場景。</translation>
        </message>
        <message>
            <source>Another scene is named &quot;%1&quot;.</source>
            <translation>已有名為「%1」的場景。</translation>
        </message>
        <message>
            <source>New name:</source>
            <translation>新名稱：</translation>
        </message>
        <message>
            <source>%1 at %2 on %3</source>
            <translation>%3 %2：%1</translation>
        </message>
        <message>
            <source>%1 once at %2</source>
            <translation>%2 執行一次：%1</translation>
        </message>
        <message>
            <source>Add schedule</source>
            <translation>新增排程</translation>
        </message>
        <message>
            <source>All displays off</source>
            <translation>關閉所有顯示器</translation>
        </message>
        <message>
            <source>All displays on</source>
            <translation>開啟所有顯示器</translation>
        </message>
        <message>
            <source>Attention</source>
            <translation>注意</translation>
        </message>
        <message>
            <source>Configuration file</source>
            <translation>設定檔</translation>
        </message>
        <message>
            <source>Delete</source>
            <translation>刪除</translation>
        </message>
        <message>
            <source>Displays off</source>
            <translation>顯示器關</translation>
        </message>
        <message>
            <source>Displays on</source>
            <translation>顯示器開</translation>
        </message>
        <message>
            <source>Displays unchanged</source>
            <translation>顯示器不變</translation>
        </message>
        <message>
            <source>Fri</source>
            <translation>週五</translation>
        </message>
        <message>
            <source>Include password and API token</source>
            <translation>包含密碼和 API 權杖</translation>
        </message>
        <message>
            <source>Mon</source>
            <translation>週一</translation>
        </message>
        <message>
            <source>Name</source>
            <translation>名稱</translation>
        </message>
        <message>
            <source>Once</source>
            <translation>一次</translation>
        </message>
        <message>
            <source>Overwrite</source>
            <translation>覆寫</translation>
        </message>
        <message>
            <source>Recall scene</source>
            <translation>調用場景</translation>
        </message>
        <message>
            <source>Rename</source>
            <translation>重新命名</translation>
        </message>
        <message>
            <source>Sat</source>
            <translation>週六</translation>
        </message>
        <message>
            <source>Save current routing</source>
            <translation>儲存目前切換</translation>
        </message>
        <message>
            <source>Scene &quot;%1&quot; saved</source>
            <translation>場景「%1」已儲存</translation>
        </message>
        <message>
            <source>Scenes</source>
            <translation>場景</translation>
        </message>
        <message>
            <source>Schedules</source>
            <translation>排程</translation>
        </message>
        <message>
            <source>Sun</source>
            <translation>週日</translation>
        </message>
        <message>
            <source>The scene could not be saved.</source>
            <translation>無法儲存場景。</translation>
        </message>
        <message>
            <source>Thu</source>
            <translation>週四</translation>
        </message>
        <message>
            <source>Tue</source>
            <translation>週二</translation>
        </message>
        <message>
            <source>Wed</source>
            <translation>週三</translation>
        </message>
        <message>
            <source>Weekly</source>
            <translation>每週</translation>
        </message>
        <message>
            <source>all displays off</source>
            <translation>關閉所有顯示器</translation>
        </message>
        <message>
            <source>all displays on</source>
            <translation>開啟所有顯示器</translation>
        </message>
        <message>
            <source>recall &quot;%1&quot;</source>
            <translation>調用「%1」</translation>
        </message>
        <message>
            <source>Type a name for the schedule.</source>
            <translation>請輸入排程名稱。</translation>
        </message>
        <message>
            <source>Another schedule is named &quot;%1&quot;.</source>
            <translation>已有名為「%1」的排程。</translation>
        </message>
        <message>
            <source>Save a scene first: there is none to recall.</source>
            <translation>請先儲存一個場景：目前沒有可調用的場景。</translation>
        </message>
        <message>
            <source>Type the time as HH:MM, for example 07:30.</source>
            <translation>請按 HH:MM 輸入時間，例如 07:30。</translation>
        </message>
        <message>
            <source>Choose at least one weekday.</source>
            <translation>請至少選擇一天。</translation>
        </message>
        <message>
            <source>Type the date as YYYY-MM-DD, for example %1.</source>
            <translation>請按 YYYY-MM-DD 輸入日期，例如 %1。</translation>
        </message>
        <message>
            <source>That date and time have passed.</source>
            <translation>該日期和時間已經過去。</translation>
        </message>
        <message>
            <source>Schedule &quot;%1&quot; saved</source>
            <translation>排程「%1」已儲存</translation>
        </message>
        <message>
            <source>The schedule could not be saved.</source>
            <translation>無法儲存排程。</translation>
        </message>
        <message>
            <source>The schedule could not be changed.</source>
            <translation>無法變更排程。</translation>
        </message>
        <message>
            <source>Edit</source>
            <translation>編輯</translation>
        </message>
        <message>
            <source>New schedule</source>
            <translation>新排程</translation>
        </message>
        <message>
            <source>Change schedule &quot;%1&quot;</source>
            <translation>變更排程「%1」</translation>
        </message>
        <message>
            <source>Save changes</source>
            <translation>儲存變更</translation>
        </message>
        <message>
            <source>Cancel changes</source>
            <translation>取消變更</translation>
        </message>
        <message>
            <source>Choose the scene to recall.</source>
            <translation>請選擇要調用的場景。</translation>
        </message>
        <message>
            <source>Scene name</source>
            <translation>場景名稱</translation>
        </message>
        <message>
            <source>Confirm</source>
            <translation>確認</translation>
        </message>
        <message>
            <source>Delete the scene &quot;%1&quot;?</source>
            <translation>刪除場景「%1」？</translation>
        </message>
        <message>
            <source>Delete the schedule &quot;%1&quot;?</source>
            <translation>刪除排程「%1」？</translation>
        </message>
        <message>
            <source>Replace the scene &quot;%1&quot; with the current routing?</source>
            <translation>以目前切換覆寫場景「%1」？</translation>
        </message>
        <message>
            <source>Delete the scene &quot;%1&quot;? These schedules recall it and are switched off: %2</source>
            <translation>刪除場景「%1」？以下排程會呼叫它，將被關閉：%2</translation>
        </message>
        <message>
            <source>e.g. %1</source>
            <translation>例如 %1</translation>
        </message>
        <message>
            <source>Export…</source>
            <translation>匯出…</translation>
        </message>
        <message>
            <source>Import…</source>
            <translation>匯入…</translation>
        </message>
        <message>
            <source>Export the configuration</source>
            <translation>匯出設定</translation>
        </message>
        <message>
            <source>Import a configuration</source>
            <translation>匯入設定</translation>
        </message>
        <message>
            <source>The file %1 exists. Replace it with the configuration?</source>
            <translation>檔案 %1 已存在。要用設定取代它嗎？</translation>
        </message>
        <message>
            <source>Replace the current configuration with %1? The program restarts to use it; the current one is kept as a copy.</source>
            <translation>用 %1 取代目前的設定嗎？程式將重新啟動以使用它；目前的設定會保留一份副本。</translation>
        </message>
    </context>
    <context>
        <name>ScenesStrip</name>
        <message>
            <source>Not confirmed: %1</source>
            <translation>未確認：%1</translation>
        </message>
        <message>
            <source>Recalling &quot;%1&quot;: %2 of %3 screens</source>
            <translation>正在調用「%1」：%2/%3 個螢幕</translation>
        </message>
        <message>
            <source>Retry</source>
            <translation>重試</translation>
        </message>
        <message>
            <source>Scene &quot;%1&quot; recalled</source>
            <translation>場景「%1」已調用</translation>
        </message>
    </context>
    <context>
        <name>Schedule</name>
        <message>
            <source>The clock skips %1 on %2; it runs at %3.</source>
            <translation>%2 的時鐘跳過 %1；將在 %3 執行。</translation>
        </message>
    </context>
    <context>
        <name>Scheduler</name>
        <message>
            <source>the controller was not running</source>
            <translation>控制器當時未執行</translation>
        </message>
        <message>
            <source>the controller was held up, or its clock jumped</source>
            <translation>控制器被阻塞，或其時鐘發生跳變</translation>
        </message>
    </context>
    <context>
        <name>SearchFailedDialog</name>
        <message>
            <source>Demo</source>
            <translation>示範</translation>
        </message>
        <message>
            <source>Retry</source>
            <translation>重試</translation>
        </message>
        <message>
            <source>Unable to discover any online devices, please make sure the devices are in the same LAN and retry.</source>
            <translation>未能發現任何線上裝置，請確認裝置位於同一區域網路後重試。</translation>
        </message>
    </context>
    <context>
        <name>SettingsDialog</name>
        <message>
            <source>%1 (locked: the admin password opens it)</source>
            <translation>%1（已鎖定：需要管理員密碼）</translation>
        </message>
        <message>
            <source>Advanced Settings</source>
            <translation>進階設定</translation>
        </message>
        <message>
            <source>Audit Trail</source>
            <translation>稽核記錄</translation>
        </message>
        <message>
            <source>Name and sequencing</source>
            <translation>名稱與排序</translation>
        </message>
        <message>
            <source>Scenes and Schedules</source>
            <translation>場景和排程</translation>
        </message>
        <message>
            <source>Users</source>
            <translation>使用者</translation>
        </message>
        <message>
            <source>Settings</source>
            <translation>設定</translation>
        </message>
        <message>
            <source>System Information</source>
            <translation>系統資訊</translation>
        </message>
        <message>
            <source>Video Wall Settings</source>
            <translation>拼接牆設定</translation>
        </message>
    </context>
    <context>
        <name>SystemInfoPage</name>
        <message>
            <source>Name: </source>
            <translation>名稱：</translation>
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
            <translation>確定要刪除拼接牆「%1」嗎？</translation>
        </message>
        <message>
            <source>Confirm</source>
            <translation>確認</translation>
        </message>
        <message>
            <source>Create new video wall</source>
            <translation>新增拼接牆</translation>
        </message>
        <message>
            <source>Modify Video Wall Name</source>
            <translation>修改拼接牆名稱</translation>
        </message>
        <message>
            <source>Name exists, please input again!</source>
            <translation>名稱已存在，請重新輸入！</translation>
        </message>
        <message>
            <source>New Name:</source>
            <translation>新名稱：</translation>
        </message>
        <message>
            <source>Video Wall Name:</source>
            <translation>拼接牆名稱：</translation>
        </message>
        <message>
            <source>Video wall list</source>
            <translation>拼接牆列表</translation>
        </message>
        <message>
            <source>Two decoders outside any wall are needed.</source>
            <translation>需要兩台未加入拼接牆的接收端。</translation>
        </message>
        <message>
            <source>The name is too long or holds characters that cannot be shown.</source>
            <translation>名稱過長或包含無法顯示的字元。</translation>
        </message>
    </context>
    <context>
        <name>VWWizardSelectSizePage</name>
        <message>
            <source>1x1  wall creation is not allowed.</source>
            <translation>不允許建立 1x1 的拼接牆。</translation>
        </message>
        <message>
            <source>Next</source>
            <translation>下一步</translation>
        </message>
        <message>
            <source>Step 1:
Please set the number of the video wall’s rows and columns, and then click "Next".</source>
            <translation>第一步：
請設定拼接牆的列數和欄數，然後點擊「下一步」。</translation>
        </message>
    </context>
    <context>
        <name>VWWizrdPlaceDevicePage</name>
        <message>
            <source>Can't create video wall because some cells have not been configured!</source>
            <translation>有螢幕尚未設定，無法建立拼接牆！</translation>
        </message>
        <message>
            <source>Create</source>
            <translation>建立</translation>
        </message>
        <message>
            <source>RX List</source>
            <translation>接收端列表</translation>
        </message>
        <message>
            <source>Step 2:
Drag RX to each display frame, ensure the number in the frame is consistent with that in the physical video wall.</source>
            <translation>第二步：
將接收端拖曳到每個螢幕框中，確保框中的編號與實際拼接牆上顯示的編號一致。</translation>
        </message>
        <message>
            <source>Video Wall "%1" created.</source>
            <translation>拼接牆「%1」已建立。</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>上一步</translation>
        </message>
        <message>
            <source>Video Wall "%1" could not be created.</source>
            <translation>無法建立拼接牆「%1」。</translation>
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
            <translation>確定</translation>
        </message>
        <message>
            <source>The input content must not be empty.</source>
            <translation>輸入內容不能為空。</translation>
        </message>
    </context>
    <context>
        <name>RemoteService</name>
        <message>
            <source>The control API cannot listen on %1 port %2: %3</source>
            <translation>控制介面無法在 %1 連接埠 %2 上監聽：%3</translation>
        </message>
        <message>
            <source>Ports are numbers from 1 to 65535.</source>
            <translation>連接埠是 1 到 65535 之間的數字。</translation>
        </message>
        <message>
            <source>The three ports must differ.</source>
            <translation>三個連接埠必須互不相同。</translation>
        </message>
        <message>
            <source>&quot;%1&quot; is not an IP address.</source>
            <translation>「%1」不是 IP 位址。</translation>
        </message>
        <message>
            <source>TLS needs both a certificate and a key.</source>
            <translation>TLS 需要憑證與金鑰兩者。</translation>
        </message>
        <message>
            <source>The file %1 cannot be read.</source>
            <translation>無法讀取檔案 %1。</translation>
        </message>
        <message>
            <source>The settings could not be saved to %1.</source>
            <translation>無法將設定儲存到 %1。</translation>
        </message>
        <message>
            <source>TLS cannot be had (%1): the control API stays off, every port. Name a readable PEM certificate and its key, or neither, for the controller's own.</source>
            <translation>無法啟用 TLS（%1）：控制 API 保持關閉（所有連接埠皆關閉）。請指定可讀取的 PEM 憑證及其金鑰，或兩者皆不指定以使用控制器自己的憑證。</translation>
        </message>
        <message>
            <source>this system's Qt cannot load OpenSSL</source>
            <translation>本系統的 Qt 無法載入 OpenSSL</translation>
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
            <translation>關閉所有顯示器</translation>
        </message>
        <message>
            <source>All displays on</source>
            <translation>開啟所有顯示器</translation>
        </message>
        <message>
            <source>Decoder</source>
            <translation>解碼器</translation>
        </message>
        <message>
            <source>Display off</source>
            <translation>關閉顯示器</translation>
        </message>
        <message>
            <source>Display on</source>
            <translation>開啟顯示器</translation>
        </message>
        <message>
            <source>Encoder</source>
            <translation>編碼器</translation>
        </message>
        <message>
            <source>Hide numbers</source>
            <translation>隱藏編號</translation>
        </message>
        <message>
            <source>Online</source>
            <translation>在線</translation>
        </message>
        <message>
            <source>Scene</source>
            <translation>場景</translation>
        </message>
        <message>
            <source>Show numbers</source>
            <translation>顯示編號</translation>
        </message>
        <message>
            <source>Source</source>
            <translation>訊號源</translation>
        </message>
        <message>
            <source>Video wall</source>
            <translation>拼接牆</translation>
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
            <translation>%1 秒內再次嘗試。</translation>
        </message>
        <message>
            <source>Not tried again until the settings are applied.</source>
            <translation>套用設定之前不會再次嘗試。</translation>
        </message>
        <message>
            <source>Not connected to %1: %2</source>
            <translation>未連線到 %1：%2</translation>
        </message>
        <message>
            <source>%1 cannot be reached (%2).</source>
            <translation>無法連線到 %1（%2）。</translation>
        </message>
        <message>
            <source>No broker answers at %1 port %2 (%3).</source>
            <translation>%1 埠號 %2 上沒有代理伺服器回應（%3）。</translation>
        </message>
        <message>
            <source>TLS with %1 failed (%2): check the CA file and the port.</source>
            <translation>與 %1 的 TLS 連線失敗（%2）：請檢查 CA 檔案和埠號。</translation>
        </message>
        <message>
            <source>%1 refused the user name or password (%2).</source>
            <translation>%1 拒絕了使用者名稱或密碼（%2）。</translation>
        </message>
        <message>
            <source>Connecting to %1 port %2…</source>
            <translation>正在連線 %1 埠號 %2…</translation>
        </message>
        <message>
            <source>Ports are numbers from 1 to 65535.</source>
            <translation>連接埠是 1 到 65535 之間的數字。</translation>
        </message>
        <message>
            <source>The settings could not be saved.</source>
            <translation>無法儲存設定。</translation>
        </message>
    </context>
    <context>
        <name>MqttClient</name>
        <message>
            <source>The MQTT client could not be made.</source>
            <translation>無法建立 MQTT 用戶端。</translation>
        </message>
        <message>
            <source>The MQTT client cannot be set up: %1</source>
            <translation>無法設定 MQTT 用戶端：%1</translation>
        </message>
        <message>
            <source>The broker %1 cannot be reached: %2</source>
            <translation>無法連線代理伺服器 %1：%2</translation>
        </message>
        <message>
            <source>The MQTT client cannot run: %1</source>
            <translation>MQTT 用戶端無法執行：%1</translation>
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
            <translation>已連線到 %1 埠號 %2。</translation>
        </message>
        <message>
            <source>Off.</source>
            <translation>已關閉。</translation>
        </message>
        <message>
            <source>A port is a number from 1 to 65535.</source>
            <translation>埠號是 1 到 65535 之間的數字。</translation>
        </message>
        <message>
            <source>Type the broker&apos;s name or address.</source>
            <translation>請輸入代理伺服器的名稱或位址。</translation>
        </message>
        <message>
            <source>MQTT settings saved.</source>
            <translation>MQTT 設定已儲存。</translation>
        </message>
        <message>
            <source>MQTT bridge:</source>
            <translation>MQTT 橋接：</translation>
        </message>
        <message>
            <source>Broker:</source>
            <translation>代理伺服器：</translation>
        </message>
        <message>
            <source>Port:</source>
            <translation>連接埠：</translation>
        </message>
        <message>
            <source>Site name:</source>
            <translation>站點名稱：</translation>
        </message>
        <message>
            <source>Client id:</source>
            <translation>用戶端 ID：</translation>
        </message>
        <message>
            <source>from the site name</source>
            <translation>由站點名稱產生</translation>
        </message>
        <message>
            <source>User name:</source>
            <translation>使用者名稱：</translation>
        </message>
        <message>
            <source>Password:</source>
            <translation>密碼：</translation>
        </message>
        <message>
            <source>TLS CA file:</source>
            <translation>TLS CA 檔案：</translation>
        </message>
        <message>
            <source>none</source>
            <translation>無</translation>
        </message>
        <message>
            <source>Apply</source>
            <translation>套用</translation>
        </message>
        <message>
            <source>State:</source>
            <translation>狀態：</translation>
        </message>
    </context>
    <context>
        <name>MqttSettings</name>
        <message>
            <source>No broker is set.</source>
            <translation>未設定代理伺服器。</translation>
        </message>
        <message>
            <source>The file %1 cannot be read.</source>
            <translation>無法讀取檔案 %1。</translation>
        </message>
        <message>
            <source>A password needs a user name.</source>
            <translation>填寫密碼時需要使用者名稱。</translation>
        </message>
    </context>
    <context>
        <name>QImageGrabberHttp</name>
        <message>
            <source>No image for %1 seconds</source>
            <translation>%1 秒內沒有收到影像</translation>
        </message>
        <message>
            <source>The snapshot answer has no body</source>
            <translation>快照回應沒有內容</translation>
        </message>
        <message>
            <source>The snapshot answer is no whole image</source>
            <translation>快照回應不是完整的影像</translation>
        </message>
    </context>
    <context>
        <name>TlsContext</name>
        <message>
            <source>OpenSSL cannot make a TLS server context.</source>
            <translation>OpenSSL 無法建立 TLS 伺服器內容。</translation>
        </message>
        <message>
            <source>The TLS certificate cannot be used.</source>
            <translation>無法使用該 TLS 憑證。</translation>
        </message>
        <message>
            <source>The TLS private key does not belong to the certificate.</source>
            <translation>該 TLS 私鑰與憑證不相符。</translation>
        </message>
    </context>
    <context>
        <name>TlsListener</name>
        <message>
            <source>No certificate can be read from %1.</source>
            <translation>無法從 %1 讀取憑證。</translation>
        </message>
        <message>
            <source>No private key (EC or RSA, PEM, not encrypted) can be read from %1.</source>
            <translation>無法從 %1 讀取私鑰（EC 或 RSA，PEM 格式，未加密）。</translation>
        </message>
    </context>
    <context>
        <name>WebServer</name>
        <message>
            <source>The control API cannot serve TLS: %1</source>
            <translation>控制介面無法提供 TLS：%1</translation>
        </message>
        <message>
            <source>The control API listens on IPv4 addresses only, not on %1.</source>
            <translation>控制介面只能監聽 IPv4 位址，不能監聽 %1。</translation>
        </message>
        <message>
            <source>The control API cannot listen on %1 port %2: %3</source>
            <translation>控制介面無法在 %1 連接埠 %2 上監聽：%3</translation>
        </message>
    </context>
    <context>
        <name>LoginPanel</name>
        <message>
            <source>Unlock</source>
            <translation>解鎖</translation>
        </message>
        <message>
            <source>Admin password:</source>
            <translation>管理員密碼：</translation>
        </message>
        <message>
            <source>Password error!</source>
            <translation>密碼錯誤！</translation>
        </message>
    </context>
    <context>
        <name>SecretDialog</name>
        <message>
            <source>Close</source>
            <translation>關閉</translation>
        </message>
        <message>
            <source>Copy</source>
            <translation>複製</translation>
        </message>
        <message>
            <source>Copy again</source>
            <translation>再次複製</translation>
        </message>
        <message>
            <source>Close anyway</source>
            <translation>仍然關閉</translation>
        </message>
        <message>
            <source>Back</source>
            <translation>返回</translation>
        </message>
        <message>
            <source>Copied. Keep it where only the people who need it can read it.</source>
            <translation>已複製。請將它保存在只有需要的人才能讀取的地方。</translation>
        </message>
        <message>
            <source>The secret has not been copied. Once this dialog is closed, nobody can show it again.</source>
            <translation>尚未複製。此對話框關閉後，任何人都無法再顯示它。</translation>
        </message>
    </context>
    <context>
        <name>FilePicker</name>
        <message>
            <source>Configuration files (*.json);;All files (*)</source>
            <translation>設定檔 (*.json);;所有檔案 (*)</translation>
        </message>
    </context>
    <context>
        <name>UsersPage</name>
        <message>
            <source>Add a device</source>
            <translation>新增裝置</translation>
        </message>
        <message>
            <source>Viewer</source>
            <translation>檢視者</translation>
        </message>
        <message>
            <source>Operator</source>
            <translation>操作員</translation>
        </message>
        <message>
            <source>Admin</source>
            <translation>管理員</translation>
        </message>
        <message>
            <source>All screens</source>
            <translation>所有螢幕</translation>
        </message>
        <message>
            <source>Sources: %1</source>
            <translation>訊號源：%1</translation>
        </message>
        <message>
            <source>Never signed in</source>
            <translation>從未登入</translation>
        </message>
        <message>
            <source>%1 from %2</source>
            <translation>%1，來自 %2</translation>
        </message>
        <message>
            <source>Type a name for the user.</source>
            <translation>請輸入使用者名稱。</translation>
        </message>
        <message>
            <source>User &quot;%1&quot; changed: their connections were ended.</source>
            <translation>使用者「%1」已變更：其連線已中斷。</translation>
        </message>
        <message>
            <source>Revoke the user &quot;%1&quot;? Their credential stops working and their connections end now.</source>
            <translation>撤銷使用者「%1」？其憑證將失效，其連線會立即中斷。</translation>
        </message>
        <message>
            <source>Make a new credential for &quot;%1&quot;? The current one stops working and its connections end.</source>
            <translation>為「%1」產生新憑證？目前的憑證將失效，其連線會中斷。</translation>
        </message>
        <message>
            <source>Attention</source>
            <translation>注意</translation>
        </message>
        <message>
            <source>Credential of &quot;%1&quot;</source>
            <translation>「%1」的憑證</translation>
        </message>
        <message>
            <source>Copy the credential now: it is shown only this once. The user signs in with it.</source>
            <translation>請立即複製憑證：它只顯示這一次。使用者憑它登入。</translation>
        </message>
        <message>
            <source>The users of the control API and the web remote are kept behind the admin password.</source>
            <translation>控制 API 和網頁遙控的使用者受管理員密碼保護。</translation>
        </message>
        <message>
            <source>New user</source>
            <translation>新使用者</translation>
        </message>
        <message>
            <source>Change &quot;%1&quot;</source>
            <translation>變更「%1」</translation>
        </message>
        <message>
            <source>Users of the control API and the web remote</source>
            <translation>控制 API 和網頁遙控的使用者</translation>
        </message>
        <message>
            <source>Add user</source>
            <translation>新增使用者</translation>
        </message>
        <message>
            <source>Change</source>
            <translation>變更</translation>
        </message>
        <message>
            <source>New credential</source>
            <translation>新憑證</translation>
        </message>
        <message>
            <source>Revoke</source>
            <translation>撤銷</translation>
        </message>
        <message>
            <source>Name</source>
            <translation>名稱</translation>
        </message>
        <message>
            <source>A viewer sees the screens and sources and changes nothing.</source>
            <translation>檢視者可以看到螢幕和訊號源，但不能變更任何內容。</translation>
        </message>
        <message>
            <source>An operator routes, recalls scenes and switches displays, on the screens chosen below.</source>
            <translation>操作員可以在下方所選的螢幕上切換訊號、呼叫場景和開關顯示器。</translation>
        </message>
        <message>
            <source>An admin may do everything, users included, on every screen.</source>
            <translation>管理員可以在所有螢幕上執行任何操作，包括管理使用者。</translation>
        </message>
        <message>
            <source>Screens: all (none chosen)</source>
            <translation>螢幕：全部（未選擇）</translation>
        </message>
        <message>
            <source>Screens:</source>
            <translation>螢幕：</translation>
        </message>
        <message>
            <source>Sources: all (none chosen)</source>
            <translation>訊號源：全部（未選擇）</translation>
        </message>
        <message>
            <source>Sources:</source>
            <translation>訊號源：</translation>
        </message>
        <message>
            <source>Add</source>
            <translation>新增</translation>
        </message>
        <message>
            <source>Save</source>
            <translation>儲存</translation>
        </message>
        <message>
            <source>Cancel</source>
            <translation>取消</translation>
        </message>
    </context>
</TS>
