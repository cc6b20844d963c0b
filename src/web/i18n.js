// The page's texts in the program's three languages. The browser's languages choose, a
// choice made on the page (kept on the device) overrides them.
const TEXTS = {
  en: {
    language: 'English',
    title: 'Control',
    signInTitle: 'Sign in to the controller',
    signInHint: 'Enter the control API token shown in the controller\'s advanced settings.',
    token: 'Token',
    remember: 'Remember on this device',
    signIn: 'Sign in',
    signOut: 'Sign out',
    connecting: 'Connecting…',
    refused: 'The controller refused this token.',
    rateLimited: 'Too many failed attempts. Wait a minute, then try again.',
    unreachable: 'The controller cannot be reached. Trying again…',
    sources: 'Sources',
    screens: 'Screens',
    walls: 'Video walls',
    decoders: 'Displays',
    noSource: 'No source',
    allScreens: 'All screens',
    pickSource: 'Tap a source, then a screen.',
    pickTarget: 'Show {0} on: tap a screen',
    cancel: 'Cancel',
    displaysOn: 'Displays on',
    displaysOff: 'Displays off',
    numbers: 'Numbers',
    offline: 'Offline',
    inWall: 'In {0}',
    routed: '{0} now shows {1}',
    failed: 'Not done: {0}',
    noWalls: 'No video walls',
    noDecoders: 'No displays found',
    noEncoders: 'No sources found',
  },
  zh_CN: {
    language: '简体中文',
    title: '控制',
    signInTitle: '登录控制器',
    signInHint: '请输入控制器高级设置中显示的控制 API 令牌。',
    token: '令牌',
    remember: '在此设备上记住',
    signIn: '登录',
    signOut: '退出',
    connecting: '正在连接…',
    refused: '控制器拒绝了此令牌。',
    rateLimited: '失败次数过多，请稍等一分钟再试。',
    unreachable: '无法连接控制器，正在重试…',
    sources: '信号源',
    screens: '屏幕',
    walls: '拼接墙',
    decoders: '显示器',
    noSource: '无信号源',
    allScreens: '所有屏幕',
    pickSource: '先点信号源，再点屏幕。',
    pickTarget: '将 {0} 显示到：请点屏幕',
    cancel: '取消',
    displaysOn: '开启显示器',
    displaysOff: '关闭显示器',
    numbers: '序号',
    offline: '离线',
    inWall: '属于 {0}',
    routed: '{0} 正在显示 {1}',
    failed: '未完成：{0}',
    noWalls: '没有拼接墙',
    noDecoders: '未找到显示器',
    noEncoders: '未找到信号源',
  },
  zh_TW: {
    language: '繁體中文',
    title: '控制',
    signInTitle: '登入控制器',
    signInHint: '請輸入控制器進階設定中顯示的控制 API 權杖。',
    token: '權杖',
    remember: '在此裝置上記住',
    signIn: '登入',
    signOut: '登出',
    connecting: '正在連線…',
    refused: '控制器拒絕了此權杖。',
    rateLimited: '失敗次數過多，請稍候一分鐘再試。',
    unreachable: '無法連線控制器，正在重試…',
    sources: '訊號源',
    screens: '螢幕',
    walls: '拼接牆',
    decoders: '顯示器',
    noSource: '無訊號源',
    allScreens: '所有螢幕',
    pickSource: '先點訊號源，再點螢幕。',
    pickTarget: '將 {0} 顯示到：請點螢幕',
    cancel: '取消',
    displaysOn: '開啟顯示器',
    displaysOff: '關閉顯示器',
    numbers: '序號',
    offline: '離線',
    inWall: '屬於 {0}',
    routed: '{0} 正在顯示 {1}',
    failed: '未完成：{0}',
    noWalls: '沒有拼接牆',
    noDecoders: '未找到顯示器',
    noEncoders: '未找到訊號源',
  },
};

export const LANGUAGES = Object.keys(TEXTS);
const STORED_KEY = 'zentrova.language';

export function browserLanguage(preferred) {
  for (const tag of preferred) {
    const lower = tag.toLowerCase();
    if (/^zh-(tw|hk|mo)|^zh-hant/.test(lower)) return 'zh_TW';
    if (lower.startsWith('zh')) return 'zh_CN';
    if (lower.startsWith('en')) return 'en';
  }
  return 'en';
}

let current = 'en';

export function chooseLanguage(choice) {
  if (choice) localStorage.setItem(STORED_KEY, choice);
  const stored = localStorage.getItem(STORED_KEY);
  current = TEXTS[stored] ? stored : browserLanguage(navigator.languages || [navigator.language || 'en']);
  document.documentElement.lang = current.replace('_', '-');
  return current;
}

export function tr(key, ...args) {
  const text = TEXTS[current][key] ?? TEXTS.en[key] ?? key;
  return text.replace(/\{(\d)\}/g, (_, i) => args[Number(i)] ?? '');
}

export function languageName(code) {
  return TEXTS[code].language;
}
