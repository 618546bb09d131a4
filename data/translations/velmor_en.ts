<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ja_JP">
<context>
    <name>About</name>
    <message>
        <source>バージョン情報</source>
        <translation>About Velmor</translation>
    </message>
</context>
<context>
    <name>Dialogs</name>
    <message>
        <source>PNG, 全体をフル解像度で (*.png)</source>
        <translation>PNG, the whole frame at full resolution (*.png)</translation>
    </message>
    <message>
        <source>PNG, 表示中の画像 (*.png)</source>
        <translation>PNG, the view shown (*.png)</translation>
    </message>
</context>
<context>
    <name>GridModel</name>
    <message>
        <source>説明</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>データ</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>キーワード</source>
        <translation>Keyword</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>エラー</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>情報</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>ファイルを開くことができません。</source>
        <translation>Cannot open the file.</translation>
    </message>
    <message>
        <source>DICOMファイルではありません。</source>
        <translation>Not a DICOM file.</translation>
    </message>
    <message>
        <source>DICOM Part-10 フォーマットではありません。</source>
        <translation>Not in DICOM Part-10 format.</translation>
    </message>
    <message>
        <source>ファイルを作成することができません。</source>
        <translation>Cannot create the file.</translation>
    </message>
</context>
<context>
    <name>PacsDialog</name>
    <message>
        <source>PACS</source>
        <translation>PACS</translation>
    </message>
    <message>
        <source>患者名</source>
        <translation>Patient name</translation>
    </message>
    <message>
        <source>患者ID</source>
        <translation>Patient ID</translation>
    </message>
    <message>
        <source>検査日</source>
        <translation>Study date</translation>
    </message>
    <message>
        <source>説明</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>モダリティ</source>
        <translation>Modality</translation>
    </message>
    <message>
        <source>シリーズ</source>
        <translation>Series</translation>
    </message>
    <message>
        <source>画像</source>
        <translation>Images</translation>
    </message>
    <message>
        <source>取得</source>
        <translation>Retrieve</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>表示中のファイル</source>
        <translation>The file shown</translation>
    </message>
    <message>
        <source>表示中のシリーズ</source>
        <translation>The series shown</translation>
    </message>
    <message>
        <source>送信</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>サーバー</source>
        <translation>Servers</translation>
    </message>
    <message>
        <source>追加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>変更</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Remove</translation>
    </message>
    <message>
        <source>接続テスト</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>名前</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>プロトコル</source>
        <translation>Protocol</translation>
    </message>
    <message>
        <source>空欄: 変更しない</source>
        <translation>Empty: unchanged</translation>
    </message>
    <message>
        <source>自己署名の証明書を受け入れる (接続先を確かめられないため安全ではありません)</source>
        <translation>Accept a self-signed certificate (not safe: the server cannot be verified)</translation>
    </message>
    <message>
        <source>ベースURL</source>
        <translation>Base URL</translation>
    </message>
    <message>
        <source>ユーザー</source>
        <translation>User</translation>
    </message>
    <message>
        <source>パスワード</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>トークン</source>
        <translation>Token</translation>
    </message>
    <message>
        <source>空いているポート</source>
        <translation>Any free port</translation>
    </message>
    <message>
        <source>C-GET が使えても C-MOVE で取得する</source>
        <translation>Retrieve with C-MOVE even when C-GET is offered</translation>
    </message>
    <message>
        <source>ホスト</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>相手の AE タイトル</source>
        <translation>Called AE title</translation>
    </message>
    <message>
        <source>自分の AE タイトル</source>
        <translation>Calling AE title</translation>
    </message>
    <message>
        <source>C-MOVE 受信ポート</source>
        <translation>C-MOVE receiving port</translation>
    </message>
    <message>
        <source> 秒</source>
        <translation> s</translation>
    </message>
    <message>
        <source>タイムアウト</source>
        <translation>Timeout</translation>
    </message>
    <message>
        <source>検索条件</source>
        <translation>Query</translation>
    </message>
    <message>
        <source>* で前方一致など</source>
        <translation>* matches any characters</translation>
    </message>
    <message>
        <source>検索</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>受付番号</source>
        <translation>Accession number</translation>
    </message>
    <message>
        <source>サーバーの名前を入力してください</source>
        <translation>Enter a name for the server</translation>
    </message>
    <message>
        <source>「%1」という名前のサーバーはすでにあります</source>
        <translation>A server named &quot;%1&quot; already exists</translation>
    </message>
    <message>
        <source>ベースURLを入力してください</source>
        <translation>Enter the base URL</translation>
    </message>
    <message>
        <source>ベースURLは http:// か https:// で始めてください</source>
        <translation>The base URL must start with http:// or https://</translation>
    </message>
    <message>
        <source>ホストを入力してください</source>
        <translation>Enter the host</translation>
    </message>
    <message>
        <source>AE タイトルは 1 から 16 文字の英数字などで入力してください</source>
        <translation>An AE title is 1 to 16 letters, digits or other plain characters</translation>
    </message>
    <message>
        <source>パスワードを保存できる場所がないため、「%1」のパスワードはこのセッションの間だけ覚えておきます</source>
        <translation>No secret store to keep it in: the password of &quot;%1&quot; is kept for this session only</translation>
    </message>
    <message>
        <source>「%1」を追加しました</source>
        <translation>&quot;%1&quot; added</translation>
    </message>
    <message>
        <source>サーバーを選んでください</source>
        <translation>Choose a server</translation>
    </message>
    <message>
        <source>「%1」を変更しました</source>
        <translation>&quot;%1&quot; changed</translation>
    </message>
    <message>
        <source>「%1」を削除しました</source>
        <translation>&quot;%1&quot; removed</translation>
    </message>
    <message>
        <source>「%1」のユーザー %2 のパスワード</source>
        <translation>Password of user %2 at &quot;%1&quot;</translation>
    </message>
    <message>
        <source>パスワードが入力されませんでした</source>
        <translation>No password given</translation>
    </message>
    <message>
        <source>「%1」に接続しています...</source>
        <translation>Connecting to &quot;%1&quot;...</translation>
    </message>
    <message>
        <source>「%1」に接続できました</source>
        <translation>Connected to &quot;%1&quot;</translation>
    </message>
    <message>
        <source>接続テスト失敗: %1</source>
        <translation>Test failed: %1</translation>
    </message>
    <message>
        <source>検査日は YYYY-MM-DD か YYYYMMDD で入力してください</source>
        <translation>Enter study dates as YYYY-MM-DD or YYYYMMDD</translation>
    </message>
    <message>
        <source>「%1」を検索しています...</source>
        <translation>Searching &quot;%1&quot;...</translation>
    </message>
    <message>
        <source>%1 件の検査が見つかりました</source>
        <translation>%1 studies found</translation>
    </message>
    <message>
        <source>シリーズ %1</source>
        <translation>Series %1</translation>
    </message>
    <message>
        <source>検査の UID が正しくありません: %1</source>
        <translation>The study&apos;s UID is not valid: %1</translation>
    </message>
    <message>
        <source>フォルダを作成できません: %1</source>
        <translation>Cannot create the folder: %1</translation>
    </message>
    <message>
        <source>「%1」から取得しています...</source>
        <translation>Retrieving from &quot;%1&quot;...</translation>
    </message>
    <message>
        <source>%1 件の画像を取得しました: %2</source>
        <translation>%1 images retrieved: %2</translation>
    </message>
    <message>
        <source>取得をキャンセルしました</source>
        <translation>Retrieve cancelled</translation>
    </message>
    <message>
        <source>送信するシリーズが開かれていません</source>
        <translation>No series is open to send</translation>
    </message>
    <message>
        <source>送信するファイルが開かれていません</source>
        <translation>No file is open to send</translation>
    </message>
    <message>
        <source>「%1」へ送信しています...</source>
        <translation>Sending to &quot;%1&quot;...</translation>
    </message>
    <message>
        <source>%1 ファイルを「%2」へ送信しました</source>
        <translation>%1 files sent to &quot;%2&quot;</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>画像をエクスポート...</source>
        <translation>&amp;Export image...</translation>
    </message>
    <message>
        <source>Ctrl + ホイール, + / -</source>
        <translation>Ctrl + wheel, + / -</translation>
    </message>
    <message>
        <source>拡大 / 縮小 (カーソルの位置で)</source>
        <translation>Zoom in / out (about the cursor)</translation>
    </message>
    <message>
        <source>全体を表示 / 等倍</source>
        <translation>Fit the whole frame / one to one</translation>
    </message>
    <message>
        <source>移動</source>
        <translation>Pan</translation>
    </message>
    <message>
        <source>DICOMファイルを開く</source>
        <translation>Open a DICOM file</translation>
    </message>
    <message>
        <source>フォルダを開く</source>
        <translation>Open a folder</translation>
    </message>
    <message>
        <source>ヘッダ情報を保存</source>
        <translation>Save the header information</translation>
    </message>
    <message>
        <source>次 / 前の画像 (フレーム)</source>
        <translation>Next / previous image (frame)</translation>
    </message>
    <message>
        <source>最初 / 最後の画像</source>
        <translation>First / last image</translation>
    </message>
    <message>
        <source>ホイール</source>
        <translation>Wheel</translation>
    </message>
    <message>
        <source>左ドラッグ</source>
        <translation>Left drag</translation>
    </message>
    <message>
        <source>ウィンドウレベルとウィンドウ幅</source>
        <translation>Window level and window width</translation>
    </message>
    <message>
        <source>右クリック</source>
        <translation>Right click</translation>
    </message>
    <message>
        <source>ウィンドウメニュー</source>
        <translation>The Window menu</translation>
    </message>
    <message>
        <source>ショートカット</source>
        <translation>Keyboard shortcuts</translation>
    </message>
    <message>
        <source>ウィンドウ (&amp;W)</source>
        <translation>&amp;Window</translation>
    </message>
    <message>
        <source>反転</source>
        <translation>Invert</translation>
    </message>
    <message>
        <source>オーバーレイ</source>
        <translation>Overlays</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>終了</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>ファイル (&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>DICOMファイルを開く...</source>
        <translation>&amp;Open DICOM file...</translation>
    </message>
    <message>
        <source>フォルダを開く...</source>
        <translation>Open &amp;folder...</translation>
    </message>
    <message>
        <source>ヘッダ情報を保存...</source>
        <translation>&amp;Save header information...</translation>
    </message>
    <message>
        <source>終了 (&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>ヘルプ (&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>バージョン情報 (&amp;A)...</source>
        <translation>&amp;About...</translation>
    </message>
    <message>
        <source> - 複数の向き: インスタンス番号順</source>
        <translation> - several orientations: in Instance Number order</translation>
    </message>
    <message>
        <source>DICOMファイルが見つかりません</source>
        <translation>No DICOM files found</translation>
    </message>
    <message>
        <source>スキャン中: %2 ファイル中 %1 ファイル読み込み済み</source>
        <translation>Scanning: %1 of %2 files read</translation>
    </message>
    <message>
        <source>%1 ファイル、%2 シリーズ</source>
        <translation>%1 files in %2 series</translation>
    </message>
    <message>
        <source> (スキャン中止)</source>
        <translation> (scan cancelled)</translation>
    </message>
    <message>
        <source>スキップ %1 件</source>
        <translation>%1 skipped</translation>
    </message>
    <message>
        <source>... ほか %1 件</source>
        <translation>... and %1 more</translation>
    </message>
    <message>
        <source>スキップしたファイル</source>
        <translation>Skipped</translation>
    </message>
    <message>
        <source>このファイルを開けません</source>
        <translation>Cannot open this file</translation>
    </message>
    <message>
        <source>距離を測る</source>
        <translation>Measure distance</translation>
    </message>
    <message>
        <source>中ボタンドラッグ, Space + 左ドラッグ</source>
        <translation>Middle drag, Space + left drag</translation>
    </message>
    <message>
        <source>距離を測る (左ドラッグ)</source>
        <translation>Measure a distance (left drag)</translation>
    </message>
    <message>
        <source>計測線を消す</source>
        <translation>Clear the measurements</translation>
    </message>
    <message>
        <source>x</source>
        <translation>x</translation>
    </message>
    <message>
        <source>y</source>
        <translation>y</translation>
    </message>
    <message>
        <source>格納値</source>
        <translation>stored</translation>
    </message>
    <message>
        <source>値</source>
        <translation>value</translation>
    </message>
    <message>
        <source>値なし</source>
        <translation>no value</translation>
    </message>
    <message>
        <source>フレーム</source>
        <translation>frame</translation>
    </message>
    <message>
        <source>比較...</source>
        <translation>Compare with...</translation>
    </message>
    <message>
        <source>キーワード</source>
        <translation>Keyword</translation>
    </message>
    <message>
        <source>検索</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>タグ、キーワード、説明、値を検索</source>
        <translation>Find a tag, keyword, description or value</translation>
    </message>
    <message>
        <source>%1 件</source>
        <translation>%1 matches</translation>
    </message>
    <message>
        <source>値はダンプの外にあります (オフセット %1、%2 バイト)</source>
        <translation>The value lies past the dump (offset %1, %2 bytes)</translation>
    </message>
    <message>
        <source>値をコピー</source>
        <translation>Copy the value</translation>
    </message>
    <message>
        <source>タグをコピー</source>
        <translation>Copy the tag</translation>
    </message>
    <message>
        <source>タグパスをコピー</source>
        <translation>Copy the tag path</translation>
    </message>
    <message>
        <source>行をコピー</source>
        <translation>Copy the rows</translation>
    </message>
    <message>
        <source>タグパス</source>
        <translation>Tag path</translation>
    </message>
    <message>
        <source>1 つ目の値</source>
        <translation>First value</translation>
    </message>
    <message>
        <source>2 つ目の値</source>
        <translation>Second value</translation>
    </message>
    <message>
        <source>比較</source>
        <translation>Compare</translation>
    </message>
    <message>
        <source>表を検索</source>
        <translation>Find in the table</translation>
    </message>
    <message>
        <source>次 / 前の一致</source>
        <translation>Next / previous match</translation>
    </message>
    <message>
        <source>シーケンスと項目を折りたたむ / 開く (表)</source>
        <translation>Fold / unfold sequences and items (table)</translation>
    </message>
    <message>
        <source>選んだ行をコピー (表)</source>
        <translation>Copy the chosen rows (table)</translation>
    </message>
    <message>
        <source>PACS...</source>
        <translation>&amp;PACS...</translation>
    </message>
    <message>
        <source>フレームを再生 / 停止</source>
        <translation>Play / pause the frames</translation>
    </message>
</context>
</TS>
