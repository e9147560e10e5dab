<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>CLauncherDlg</name>
    <message>
        <source>Login incorrect</source>
        <translation>ログインできませんでした。ユーザー名とパスワードを確かめてください。</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>接続しています…</translation>
    </message>
    <message>
        <source>Logging in…</source>
        <translation>ログインしています…</translation>
    </message>
    <message>
        <source>Starting the terminal…</source>
        <translation>端末を起動しています…</translation>
    </message>
    <message>
        <source>Waiting for its window…</source>
        <translation>端末のウィンドウを待っています…</translation>
    </message>
    <message>
        <source>Connecting with ssh…</source>
        <translation>ssh で接続しています…</translation>
    </message>
    <message>
        <source>Logging in with ssh…</source>
        <translation>ssh でログインしています…</translation>
    </message>
    <message>
        <source>ssh has no record of the key of %1, or it differs for its address. ssh says:

%2

Compare the fingerprint with the one the host&apos;s administrator gave you. Connect records the key and logs in; Cancel logs in nowhere.</source>
        <translation>ssh には %1 の鍵の記録がないか、そのアドレスの記録と異なります。ssh の言葉:

%2

フィンガープリントをホストの管理者から受け取ったものと見比べてください。「接続」は鍵を記録してログインします。「キャンセル」はどこにもログインしません。</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>接続(&amp;C)</translation>
    </message>
    <message>
        <source>kterm was not found on %1. Start xterm there instead, on the same display?</source>
        <translation>%1 に kterm が見つかりません。代わりに xterm を同じディスプレイに起動しますか?</translation>
    </message>
    <message>
        <source>&amp;Start xterm</source>
        <translation>xterm を起動(&amp;S)</translation>
    </message>
</context>
<context>
    <name>Launch</name>
    <message>
        <source>The X server of display :%1 does not accept TCP connections (nothing answers at %2 port %3), so no terminal can reach it; nothing was typed on %4. Let the X server listen on TCP: start it with -listen tcp (display managers often start it with -nolisten tcp).</source>
        <translation>ディスプレイ :%1 の X サーバーが TCP 接続を受け付けていないため（%2 のポート %3 が応答しません）、端末を表示できません。%4 には何も入力していません。X サーバーを -listen tcp 付きで起動してください（ディスプレイマネージャーは多くの場合 -nolisten tcp で起動します）。</translation>
    </message>
    <message>
        <source>There is no X server on display :%1 of this machine: nothing answers at %2 port %3 and there is no local socket %5; nothing was typed on %4. Start the X server, or name the display it runs on after the host name.</source>
        <translation>このマシンのディスプレイ :%1 に X サーバーがありません（%2 のポート %3 が応答せず、ローカルソケット %5 もありません）。%4 には何も入力していません。X サーバーを起動するか、ホスト名の後に X サーバーが動いているディスプレイ番号を指定してください。</translation>
    </message>
    <message>
        <source>%1 was not found on %2, so no terminal was started. Install %1 there.</source>
        <translation>%2 に %1 が見つからないため、端末を起動できませんでした。%2 に %1 をインストールしてください。</translation>
    </message>
    <message>
        <source>%1 was not found on %2, so no terminal was started. Install %1 there, or add x to the command line to start xterm instead.</source>
        <translation>%2 に %1 が見つからないため、端末を起動できませんでした。%2 に %1 をインストールするか、コマンドラインに x を付けて xterm を起動してください。</translation>
    </message>
    <message>
        <source>The X server of display :%1 refused the terminal from %2. Give the remote user this display&apos;s cookie (here: xauth extract - %3, there: xauth merge -), or allow the host with xhost +%2.</source>
        <translation>ディスプレイ :%1 の X サーバーが %2 からの端末を拒否しました。このディスプレイのクッキーをリモートのユーザーに渡す（こちらで xauth extract - %3、向こうで xauth merge -）か、xhost +%2 でホストを許可してください。</translation>
    </message>
    <message>
        <source>The terminal on %1 could not open the display %2. Check that %1 can reach %3, TCP port %4.</source>
        <translation>%1 の端末がディスプレイ %2 を開けませんでした。%1 から %3 の TCP ポート %4 に接続できるか確かめてください。</translation>
    </message>
    <message>
        <source>No terminal window appeared on display :%1 within %2 s, and %3 said nothing: a firewall may drop connections to port %4 of %5. The terminal may still appear later.</source>
        <translation>%2 秒待ってもディスプレイ :%1 に端末のウィンドウが現れず、%3 からも何の応答もありませんでした。ファイアウォールが %5 のポート %4 への接続を遮断しているおそれがあります。端末が後から現れることもあります。</translation>
    </message>
    <message>
        <source>The terminal did not start on display :%1.</source>
        <translation>ディスプレイ :%1 で端末が起動しませんでした。</translation>
    </message>
    <message>
        <source> The host said: &quot;%1&quot;</source>
        <translation> ホストの応答:「%1」</translation>
    </message>
    <message>
        <source>TCP port %1 of %2, where the terminal would reach display :%3, is held by uid %4, neither root nor you: the terminal, logged in as you, would show on that user&apos;s X server. Nothing was typed on %5.</source>
        <translation>端末がディスプレイ :%3 に届くはずの %2 の TCP ポート %1 は、root でもあなたでもない uid %4 が使っています。あなたとしてログインした端末が、そのユーザーの X サーバーに表示されてしまいます。%5 には何も入力していません。</translation>
    </message>
    <message>
        <source>Who listens on TCP port %1 of %2 for display :%3 could not be told, so nothing was typed on %4: the terminal is sent only to an X server of root&apos;s or yours.</source>
        <translation>ディスプレイ :%3 のために %2 の TCP ポート %1 で待ち受けているのが誰か分からなかったため、%4 には何も入力していません。端末は root かあなたの X サーバーにだけ送ります。</translation>
    </message>
    <message>
        <source>TCP port %1 of %2, where the terminal would reach display :%3, is held by root but does not answer as an X server (a port forwarder, say), so nothing was typed on %4: the terminal is sent only to an X server of root&apos;s or yours.</source>
        <translation>端末がディスプレイ :%3 に届くはずの %2 の TCP ポート %1 は root が使っていますが、X サーバーとして応答しません(ポート転送プログラムなど)。そのため %4 には何も入力していません。端末は root かあなたの X サーバーにだけ送ります。</translation>
    </message>
    <message>
        <source>Display :%1 is already served by the relay of an earlier launch, which does not take this one: %2. Nothing was typed on %3. Wait until the earlier launch&apos;s terminal has ended, then try again.</source>
        <translation>ディスプレイ :%1 はすでに以前の起動のリレーが受け持っていますが、この起動を受け入れません: %2。%3 には何も入力していません。以前の起動の端末が終わるのを待ってから、もう一度試してください。</translation>
    </message>
    <message>
        <source>--trust-host lets in whatever connects from the host&apos;s address, and %1 is this machine: every local user could reach display :%2. Nothing was typed. Run dovrel without --trust-host.</source>
        <translation>--trust-host はホストのアドレスからの接続をすべて通しますが、%1 はこのマシンです。このマシンのすべてのユーザーがディスプレイ :%2 に届いてしまいます。何も入力していません。--trust-host を付けずに dovrel を実行してください。</translation>
    </message>
    <message>
        <source>Display :%1 could not be served for %2: %3. Nothing was typed there.</source>
        <translation>ディスプレイ :%1 を %2 のために中継できませんでした: %3。そこには何も入力していません。</translation>
    </message>
    <message>
        <source>xauth was not found on %1, so this launch&apos;s cookie could not be installed there and no terminal was started. Install xauth on %1, or run dovrel with --trust-host: then every user of %1 can reach display :%2 while the terminal lives.</source>
        <translation>%1 に xauth がないため、この起動のクッキーを置けず、端末は起動していません。%1 に xauth をインストールするか、--trust-host を付けて dovrel を実行してください。その場合、端末が動いている間は %1 のすべてのユーザーがディスプレイ :%2 に届きます。</translation>
    </message>
    <message>
        <source>xauth on %1 did not answer, so this launch&apos;s cookie was not installed and no terminal was started. Check xauth on %1, or run dovrel with --trust-host: then every user of %1 can reach display :%2 while the terminal lives.</source>
        <translation>%1 の xauth が応答しなかったため、この起動のクッキーを置けず、端末は起動していません。%1 の xauth を確かめるか、--trust-host を付けて dovrel を実行してください。その場合、端末が動いている間は %1 のすべてのユーザーがディスプレイ :%2 に届きます。</translation>
    </message>
    <message>
        <source>%1 was not found on %2, so no terminal was started. ssh runs it in your shell without a login, so a %1 found only through the PATH that ~/.profile sets is not found: install %1 where the system&apos;s PATH reaches, or set PATH in ~/.bashrc or ~/.zshenv.</source>
        <translation>%2 に %1 が見つからないため、端末は起動しませんでした。ssh はログインなしのシェルでこれを実行するので、~/.profile が設定する PATH でしか見つからない %1 は見つかりません。システムの PATH が届く場所に %1 をインストールするか、~/.bashrc または ~/.zshenv で PATH を設定してください。</translation>
    </message>
    <message>
        <source> Or add x to the command line to start xterm.</source>
        <translation> または、コマンドラインに x を加えて xterm を起動してください。</translation>
    </message>
    <message>
        <source>--ssh needs the ssh client and dovrel&apos;s askpass helper, and one of them is not installed on this machine. Install the openssh-client package (and dovrel&apos;s own package complete), or log in without --ssh.</source>
        <translation>--ssh には ssh クライアントと dovrel の askpass ヘルパーが必要ですが、そのどちらかがこのマシンにインストールされていません。openssh-client パッケージ (と dovrel のパッケージ一式) をインストールするか、--ssh なしでログインしてください。</translation>
    </message>
    <message>
        <source>xauth is not installed on this machine (%1), and ssh needs it to hand display :%2 to %3. Install the xauth package.</source>
        <translation>このマシンに xauth (%1) がインストールされていません。ssh がディスプレイ :%2 を %3 に渡すにはこれが必要です。xauth パッケージをインストールしてください。</translation>
    </message>
    <message>
        <source>The host key of %1 is not known to ssh and was not accepted, so nothing was sent there. Add the key to ~/.ssh/known_hosts once you have checked its fingerprint.</source>
        <translation>%1 のホスト鍵は ssh に知られておらず、受け入れられなかったため、そこには何も送られませんでした。フィンガープリントを確認したうえで、鍵を ~/.ssh/known_hosts に加えてください。</translation>
    </message>
    <message>
        <source>The host key of %1 differs from the one ssh recorded (%2). Someone may be pretending to be the host, or its key was replaced: ssh refused to log in. Ask the host&apos;s administrator; if the key was replaced, remove the old one with ssh-keygen -R %1.</source>
        <translation>%1 のホスト鍵が ssh の記録 (%2) と異なります。誰かがホストになりすましているか、鍵が取り替えられた可能性があります。ssh はログインを拒みました。ホストの管理者に問い合わせてください。鍵が取り替えられたのなら、古い鍵を ssh-keygen -R %1 で削除してください。</translation>
    </message>
    <message>
        <source>%1 wants your password changed before it lets you in (it said: &quot;%2&quot;). Change it with ssh in a terminal, then start the terminal again.</source>
        <translation>%1 はログインの前にパスワードの変更を求めています (ホストの言葉: &quot;%2&quot;)。端末から ssh でパスワードを変更してから、もう一度端末を起動してください。</translation>
    </message>
    <message>
        <source>ssh asked a question the form cannot answer: &quot;%1&quot;. Nothing was answered. Log in once with ssh in a terminal, or ask the host&apos;s administrator.</source>
        <translation>ssh がフォームでは答えられない質問をしました: &quot;%1&quot;。何も答えていません。一度端末から ssh でログインするか、ホストの管理者に問い合わせてください。</translation>
    </message>
    <message>
        <source>The ssh server of %1 refuses to forward X11, so no terminal can reach display :%2 through it. Ask the host&apos;s administrator to set X11Forwarding yes in its sshd_config.</source>
        <translation>%1 の ssh サーバーは X11 の転送を拒んでいるため、端末はそれを通じてディスプレイ :%2 に届きません。ホストの管理者に sshd_config で X11Forwarding yes を設定するよう依頼してください。</translation>
    </message>
    <message>
        <source>%1 has no xauth program, so its ssh server cannot forward X11 and no terminal can reach display :%2. Ask the host&apos;s administrator to install xauth there.</source>
        <translation>%1 には xauth プログラムがないため、その ssh サーバーは X11 を転送できず、端末はディスプレイ :%2 に届きません。ホストの管理者にそこへ xauth をインストールするよう依頼してください。</translation>
    </message>
    <message>
        <source>--untrusted needs the X server&apos;s SECURITY extension, and display :%1 has none (Xwayland has none), so no untrusted forwarding could be set up. Run dovrel without --untrusted, or on an X server with the extension.</source>
        <translation>--untrusted には X サーバーの SECURITY 拡張が必要ですが、ディスプレイ :%1 にはありません (Xwayland にはありません)。そのため信頼されない転送を設定できませんでした。--untrusted なしで dovrel を実行するか、この拡張のある X サーバーで実行してください。</translation>
    </message>
    <message>
        <source>The local socket of display :%1 (%2) is held by a user who is neither root nor you: the terminal, logged in as you, would show on that user&apos;s X server. ssh was not started.</source>
        <translation>ディスプレイ :%1 のローカルソケット (%2) は root でもあなたでもないユーザーが保持しています。あなたとしてログインした端末がそのユーザーの X サーバーに表示されてしまいます。ssh は起動しませんでした。</translation>
    </message>
    <message>
        <source>There is no X server on display :%1 of this machine (no local socket %2); ssh was not started. Start the X server, or name the display it runs on after the host name.</source>
        <translation>このマシンのディスプレイ :%1 には X サーバーがありません (ローカルソケット %2 がありません)。ssh は起動しませんでした。X サーバーを起動するか、ホスト名の後に X サーバーが動いているディスプレイを指定してください。</translation>
    </message>
    <message>
        <source>The terminal on %1 could not open the display that ssh forwards to display :%2.</source>
        <translation>%1 の端末は、ssh がディスプレイ :%2 へ転送するディスプレイを開けませんでした。</translation>
    </message>
    <message>
        <source>No terminal window appeared on display :%1 within %2 s of the login on %3, and the host said nothing against it. The terminal may still appear later; ssh runs on for it.</source>
        <translation>%3 へのログインから %2 秒以内にディスプレイ :%1 に端末のウィンドウが現れず、ホストもそれを妨げることは何も言いませんでした。端末は後から現れるかもしれません。ssh はそのために動き続けます。</translation>
    </message>
</context>
</TS>
