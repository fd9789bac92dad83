#!/usr/bin/env bash
# Prints a sample log of N lines (default 60000): CR LF line ends, Chinese and
# English messages, tab-separated fields, now and then a very long line.
#   scripts/make-sample-log.sh [N] > sample.txt
set -euo pipefail
lines="${1:-60000}"
LC_ALL=C awk -v lines="$lines" 'BEGIN {
    nl = split("INFO|WARN|ERROR|DEBUG|INFO|INFO", level, "|")
    nm = split("服务启动完成，监听端口 8080|Connection to db-01 established|连接数据库超时，正在第 3 次重试|用户 zhang.wei 登录成功|Request GET /api/v1/orders handled in 12 ms|缓存命中率 97.3%，内存占用 512 MB|磁盘空间不足：/var/log 剩余 1.2 GB|Connection reset by peer (errno 104)|任务队列长度：128，等待处理|解析请求参数失败：缺少字段 \"订单号\"|Scheduled job 日报生成 finished|配置已重新加载 config.ini", msg, "|")
    nt = split("main|worker-1|worker-2|网络线程|io-pool-3|定时任务", thread, "|")
    for (i = 1; i <= lines; i++) {
        t = i * 37
        printf "2024-05-%02d %02d:%02d:%02d.%03d\t%-5s\t[%s]\t%s\t#%d",
            1 + int(i / 20000) % 28, int(t / 3600) % 24, int(t / 60) % 60, t % 60, (i * 7) % 1000,
            level[1 + (i * 13) % nl], thread[1 + (i * 5) % nt], msg[1 + (i * 7) % nm], i
        if (i % 997 == 0) {
            printf "\t"
            for (k = 0; k < 40; k++) printf "数据块%d=0x%04X; ", k, (i * 31 + k * 17) % 65536
        }
        printf "\r\n"
    }
}'
